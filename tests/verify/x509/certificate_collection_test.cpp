#include "verify/x509/certificate_collection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "x509_pki_fixture.h"

namespace upd::test {
namespace {

CountedPtr<X509CertificateCollection> CollectionOf(const std::vector<std::string>& names) {
  CountedPtr<X509CertificateCollection> collection = MakeCounted<X509CertificateCollection>();
  for (const std::string& name : names) {
    CountedPtr<X509Certificate> certificate = PkiCertificate(name);
    EXPECT_TRUE(certificate) << name;
    EXPECT_TRUE(collection->Add(certificate)) << name;
  }
  return collection;
}

const std::vector<std::string> kNames = {"root_a",  "inter_a", "leaf_a",   "leaf_past",
                                         "root_v1", "deep1",   "deep2",    "cross_a",
                                         "loop0",   "loop1",   "self_leaf"};

TEST(X509CertificateCollectionTest, SortOrdersByLengthThenBytes) {
  CountedPtr<X509CertificateCollection> collection = CollectionOf(kNames);
  EXPECT_FALSE(collection->IsSorted());
  collection->Sort();
  EXPECT_TRUE(collection->IsSorted());
  for (int64_t i = 1; i < collection->GetCount(); ++i) {
    const ByteArray& previous = collection->GetAt(i - 1)->GetEncoded();
    const ByteArray& next = collection->GetAt(i)->GetEncoded();
    EXPECT_LT(ByteArray::Compare(&previous, &next), 0) << i;
  }
}

TEST(X509CertificateCollectionTest, ContainsFindsEveryMemberSortedOrNot) {
  CountedPtr<X509CertificateCollection> collection = CollectionOf(kNames);
  collection->Sort();
  // Fresh parses: membership is by encoding, not by object.
  for (const std::string& name : kNames) {
    EXPECT_TRUE(collection->Contains(PkiCertificate(name).Get())) << name;
  }
  EXPECT_FALSE(collection->Contains(PkiCertificate("deep3").Get()));
  EXPECT_FALSE(collection->Contains(nullptr));
  // Added after sorting, out of order: the binary search would miss it.
  CountedPtr<X509Certificate> late = PkiCertificate("deep3");
  ASSERT_TRUE(collection->Add(late));
  EXPECT_FALSE(collection->IsSorted());
  EXPECT_TRUE(collection->Contains(late.Get()));
  for (const std::string& name : kNames) {
    EXPECT_TRUE(collection->Contains(PkiCertificate(name).Get())) << name;
  }
}

TEST(X509CertificateCollectionTest, IssuerSerialMatchesAnotherEncodingOfTheSameCertificate) {
  CountedPtr<X509CertificateCollection> collection = CollectionOf({"leaf_a", "inter_a"});
  EXPECT_TRUE(collection->ContainsIssuerSerial(PkiCertificate("leaf_a").Get()));
  EXPECT_FALSE(collection->ContainsIssuerSerial(PkiCertificate("leaf_past").Get()));
  EXPECT_FALSE(collection->ContainsIssuerSerial(nullptr));
}

TEST(X509CertificateCollectionTest, AddRangeSetSizeAndRemoveAll) {
  CountedPtr<X509CertificateCollection> first = CollectionOf({"root_a", "inter_a"});
  CountedPtr<X509CertificateCollection> second = CollectionOf({"leaf_a"});
  first->Sort();
  EXPECT_FALSE(first->AddRange({}));
  ASSERT_TRUE(first->AddRange(second));
  EXPECT_FALSE(first->IsSorted());
  EXPECT_EQ(first->GetCount(), 3);
  EXPECT_EQ(X509Certificate::CompareEncoded(first->GetAt(2).Get(), second->GetAt(0).Get()), 0);
  int64_t index = -5;
  ASSERT_TRUE(first->Add(PkiCertificate("deep1"), &index));
  EXPECT_EQ(index, 3);
  ASSERT_TRUE(first->SetSize(6));
  EXPECT_FALSE(first->GetAt(5));
  EXPECT_FALSE(first->SetSize(-1));
  // Null entries left by a resize do not upset sorting or lookups.
  first->Sort();
  EXPECT_TRUE(first->Contains(second->GetAt(0).Get()));
  const uint32_t references = second->GetAt(0).GetCount();
  first->RemoveAll();
  EXPECT_TRUE(first->IsEmpty());
  EXPECT_EQ(second->GetAt(0).GetCount(), references - 1);
}

}  // namespace
}  // namespace upd::test
