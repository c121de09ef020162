// Every allocation made while reading a certificate's extensions fails in
// turn: the collection and the typed extensions report it by their results.
// (This file defines the nothrow allocation replacements for the whole
// test_verify_x509 executable; see support/alloc_failure.h.)
#define UPD_DEFINE_ALLOC_FAILURE
#include <gtest/gtest.h>

#include <string>

#include "support/alloc_failure.h"
#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/x509/basic_constraints_extension.h"
#include "verify/x509/crl_distribution_points_extension.h"
#include "verify/x509/key_identifier_extensions.h"
#include "verify/x509/x509_extension.h"

namespace {

using upd::test::FailNthAllocation;

ASN1* ExtensionsOf(ASN1& certificate) {
  ASN1& tbs = *certificate.GetChild(0);
  for (int64_t i = 0; i < tbs.GetChildCount(); ++i) {
    ASN1* tagged = tbs.GetChildIfTag(i, 0xA3);
    if (tagged != nullptr && tagged->HasChild(0)) return tagged->GetChild(0);
  }
  return nullptr;
}

// What the typed readers see in the certificate's extensions, as one text.
std::string Summary(const X509ExtensionCollection& collection) {
  std::string out = std::to_string(collection.GetCount());
  CountedPtr<X509Extension> bc = collection.Get(BasicConstraintsExtension::kOid);
  if (!bc.IsEmpty()) {
    BasicConstraintsExtension typed(*bc);
    out += typed.Decode() ? " ca=" + std::to_string(typed.IsCA()) : " bc?";
  }
  CountedPtr<X509Extension> aki = collection.Get(AuthorityKeyIdentifierExtension::kOid);
  if (!aki.IsEmpty()) {
    AuthorityKeyIdentifierExtension typed(*aki);
    ByteArray key;
    out += typed.GetKeyIdentifier(key) ? " aki=" + upd::test::ToHex(key.AsSpan()) : " aki?";
  }
  CountedPtr<X509Extension> cdp = collection.Get(CRLDistributionPointsExtension::kOid);
  if (!cdp.IsEmpty()) {
    CRLDistributionPointsExtension typed(*cdp);
    out += typed.IsDecoded() ? " cdp=" + std::to_string(typed.GetCount()) : " cdp?";
  }
  return out;
}

TEST(X509ExtensionAllocationFailureTest, EveryFailureIsReported) {
  const ByteArray input = upd::test::BytesOf(upd::test::ReadFile(
      upd::test::PkitsDir() + "/certs/ValidDNandRFC822nameConstraintsTest27EE.crt"));
  ASSERT_FALSE(input.IsEmpty());
  CountedPtr<ASN1> certificate = ASN1::Parse(input, true);
  ASSERT_FALSE(certificate.IsEmpty());
  ASN1* extensions = ExtensionsOf(*certificate);
  ASSERT_NE(extensions, nullptr);
  CountedPtr<X509ExtensionCollection> reference = X509ExtensionCollection::Create(*extensions);
  ASSERT_FALSE(reference.IsEmpty());
  const std::string expected = Summary(*reference);

  int64_t allowed = 0;
  for (;; ++allowed) {
    bool failed = false;
    std::string summary;
    {
      FailNthAllocation scope(allowed);
      CountedPtr<X509ExtensionCollection> collection = X509ExtensionCollection::Create(*extensions);
      summary = collection.IsEmpty() ? "<fail>" : Summary(*collection);
      failed = scope.Seen() > allowed;
    }
    if (!failed) {
      EXPECT_EQ(summary, expected);
      break;
    }
    // A failure either fails the whole list or shows as an undecodable extension.
    EXPECT_TRUE(summary == "<fail>" || summary.find('?') != std::string::npos ||
                summary == expected)
        << summary;
  }
  EXPECT_GT(allowed, 5);
}

}  // namespace
