#include "verify/x509/certificate_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fake_cert_source.h"
#include "verify/x509/embedded_roots.h"
#include "x509_pki_fixture.h"

namespace upd::test {
namespace {

std::string CommonNameOf(const std::string& der) {
  TempDir dir;
  WriteFile(dir.file("c.der"), der);
  std::string out;
  EXPECT_EQ(RunCommand("openssl x509 -inform DER -in " + dir.file("c.der") +
                           " -noout -subject -nameopt multiline | sed -n 's/^ *commonName *= //p'",
                       &out),
            0);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string RowBytes(int row) {
  const std::span<const uint8_t> der = upd::embedded::RootCertificate(row);
  return std::string(der.begin(), der.end());
}

std::vector<std::string> RootEncodings(CertificateStore& store) {
  std::vector<std::string> out;
  CountedPtr<X509CertificateCollection> roots = store.GetMergedCollection(kStoreViewRoots);
  if (!roots) return out;
  for (int64_t i = 0; i < roots->GetCount(); ++i) {
    const std::span<const uint8_t> der = roots->GetAt(i)->GetEncoded().AsSpan();
    out.emplace_back(der.begin(), der.end());
  }
  return out;
}

TEST(CertificateStoreTest, OnlyTheLowThreeBitsNameARootSet) {
  for (const uint32_t refused : {0u, 3u, 5u, 6u, 7u, 8u, 16u}) {
    EXPECT_EQ(CreateCertificateStore(nullptr, 0, refused, nullptr), nullptr) << refused;
  }
  CertificateStorePtr empty(CreateCertificateStore(nullptr, 0, 9, nullptr));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(RootEncodings(*empty).empty());
  CountedPtr<X509CertificateCollection> roots = empty->GetMergedCollection(kStoreViewRoots);
  ASSERT_TRUE(roots);
  EXPECT_TRUE(roots->IsEmpty());

  CertificateStorePtr own(CreateCertificateStore(nullptr, 0, kRootSetOwn, nullptr));
  CertificateStorePtr twelve(CreateCertificateStore(nullptr, 0, 12, nullptr));
  ASSERT_TRUE(own && twelve);
  EXPECT_EQ(RootEncodings(*own), RootEncodings(*twelve));
}

TEST(CertificateStoreTest, OwnSetHoldsTheTrustFolderRootsOlderFirst) {
  CertificateStorePtr store(CreateCertificateStore(nullptr, 0, kRootSetOwn, nullptr));
  ASSERT_TRUE(store);
  const std::vector<std::string> expected = {ReadFile(BinaryPath("trust/root10.der")),
                                             ReadFile(BinaryPath("trust/root9.der"))};
  EXPECT_EQ(RootEncodings(*store), expected);
}

TEST(CertificateStoreTest, PublicSetHoldsTheEmbeddedRowsInTableOrder) {
  CertificateStorePtr store(CreateCertificateStore(nullptr, 0, kRootSetPublic, nullptr));
  ASSERT_TRUE(store);
  // Row 3 is not embedded (no public copy could be obtained).
  EXPECT_TRUE(upd::embedded::RootCertificate(3).empty());
  std::vector<std::string> expected;
  for (const int row : {1, 2, 4, 5, 6, 7, 8}) {
    expected.push_back(
        ReadFile(SourcePath("src/verify/x509/roots/root" + std::to_string(row) + ".der")));
    EXPECT_EQ(RowBytes(row), expected.back()) << row;
  }
  expected.push_back(ReadFile(BinaryPath("trust/root9.der")));
  EXPECT_EQ(RootEncodings(*store), expected);
  const struct {
    int row;
    const char* common_name;
  } names[] = {{2, "Thawte Timestamping CA"},
               {4, "GeoTrust Global CA"},
               {5, "VeriSign Class 3 Public Primary Certification Authority - G5"},
               {6, "VeriSign Universal Root Certification Authority"},
               {7, "DigiCert High Assurance EV Root CA"},
               {8, "DigiCert Assured ID Root CA"}};
  for (const auto& name : names) {
    EXPECT_EQ(CommonNameOf(RowBytes(name.row)), name.common_name) << name.row;
  }
}

TEST(CertificateStoreTest, OptionWithoutExternalSourceIsRefused) {
  EXPECT_EQ(CreateCertificateStore(nullptr, 1, kRootSetOwn, nullptr), nullptr);
  FakeCertSource source;
  CertificateStorePtr store(CreateCertificateStore(&source, 1, kRootSetOwn, nullptr));
  EXPECT_TRUE(store);
}

TEST(CertificateStoreTest, WithoutExternalSourceTheViewIsAnUnsortedCopyOfTheRoots) {
  CertificateStorePtr store(CreateCertificateStore(nullptr, 0, kRootSetOwn, nullptr));
  ASSERT_TRUE(store);
  CountedPtr<X509CertificateCollection> roots = store->GetMergedCollection(kStoreViewRoots);
  CountedPtr<X509CertificateCollection> merged = store->GetMergedCollection(kStoreViewMerged);
  ASSERT_TRUE(roots && merged);
  EXPECT_EQ(roots.Get(), store->GetMergedCollection(kStoreViewRoots).Get());
  EXPECT_NE(roots.Get(), merged.Get());
  EXPECT_EQ(merged.Get(), store->GetMergedCollection(kStoreViewMerged).Get());
  EXPECT_FALSE(merged->IsSorted());
  ASSERT_EQ(merged->GetCount(), 2);
  EXPECT_EQ(merged->GetAt(0).Get(), roots->GetAt(0).Get());
  EXPECT_TRUE(store->FindCertificate(LoadCertificateFile(BinaryPath("trust/root9.der")).Get(),
                                     kStoreViewMerged));
  EXPECT_FALSE(store->FindCertificate(PkiCertificate("root_a").Get(), kStoreViewMerged));
  EXPECT_FALSE(store->FindCertificate(nullptr, kStoreViewMerged));
}

class ExternalSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source_.certificates = {ReadFile(PkiFile("root_a")), "not a certificate",
                            ReadFile(PkiFile("inter_a"))};
  }
  CertificateStorePtr Make() {
    return CertificateStorePtr(CreateCertificateStore(&source_, 0, kRootSetOwn, nullptr));
  }
  FakeCertSource source_;
};

TEST_F(ExternalSourceTest, MergedViewJoinsTheSourceSortedAndSkipsWhatDoesNotParse) {
  source_.ready = false;
  CertificateStorePtr store = Make();
  ASSERT_TRUE(store);
  // Attaching the source does nothing yet.
  EXPECT_EQ(source_.loads + source_.subscribes, 0);
  CountedPtr<X509CertificateCollection> merged = store->GetMergedCollection(kStoreViewMerged);
  ASSERT_TRUE(merged);
  EXPECT_EQ(source_.loads, 1);
  EXPECT_EQ(merged->GetCount(), 4);
  EXPECT_TRUE(merged->IsSorted());
  EXPECT_TRUE(store->FindCertificate(PkiCertificate("inter_a").Get(), kStoreViewMerged));
  EXPECT_FALSE(store->FindCertificate(PkiCertificate("inter_a").Get(), kStoreViewRoots));
  // Subscribed (answer 0), so the source stays open and the view is kept.
  EXPECT_EQ(source_.last_kind, kSubscribeChanges);
  EXPECT_EQ(source_.closes, 0);
  EXPECT_EQ(merged.Get(), store->GetMergedCollection(kStoreViewMerged).Get());
  EXPECT_EQ(source_.loads, 1);
}

TEST_F(ExternalSourceTest, FailedLoadGivesNoView) {
  source_.ready = false;
  source_.load_result = false;
  CertificateStorePtr store = Make();
  ASSERT_TRUE(store);
  EXPECT_FALSE(store->GetMergedCollection(kStoreViewMerged));
  EXPECT_FALSE(store->FindCertificate(PkiCertificate("root_a").Get(), kStoreViewMerged));
  EXPECT_TRUE(store->GetMergedCollection(kStoreViewRoots));
}

TEST_F(ExternalSourceTest, RefusedSubscriptionClosesTheSourceAtOnce) {
  source_.subscribe_result = 1;
  CertificateStorePtr store = Make();
  ASSERT_TRUE(store->GetMergedCollection(kStoreViewMerged));
  EXPECT_EQ(source_.closes, 1);
  EXPECT_EQ(source_.unsubscribes, 1);
}

void KeepOpen() {}

TEST_F(ExternalSourceTest, KeepOpenHandlerNeedsNoSubscription) {
  source_.handlers = {{kHandlerKeepOpen, &KeepOpen}};
  CertificateStorePtr store = Make();
  ASSERT_TRUE(store->GetMergedCollection(kStoreViewMerged));
  EXPECT_EQ(source_.subscribes, 0);
  EXPECT_EQ(source_.closes, 0);
  store.reset();
  // Destruction ends any subscription and closes the source.
  EXPECT_EQ(source_.unsubscribes, 1);
  EXPECT_EQ(source_.closes, 1);
}

TEST_F(ExternalSourceTest, ChangeNoticeRebuildsAndAddsRevocationsAgain) {
  CountedPtr<X509Certificate> inter = PkiCertificate("inter_a");
  const ByteArray& issuer = inter->GetIssuerName().Encoding();
  const ByteArray& serial = inter->GetSerialNumber();
  const CRLRecordEntry entry{static_cast<uint32_t>(serial.GetLength()), serial.GetData(), 77};
  const CRLRecord record{static_cast<uint32_t>(issuer.GetLength()), issuer.GetData(), 1, &entry};
  source_.crls = {CertStoreCRL{&record}};
  CertificateStorePtr store = Make();
  int64_t when = 0;
  // No view built yet: no records.
  EXPECT_FALSE(store->IsRevoked(inter.Get(), &when));
  CountedPtr<X509CertificateCollection> first = store->GetMergedCollection(kStoreViewMerged);
  ASSERT_TRUE(first);
  EXPECT_TRUE(store->IsRevoked(inter.Get(), &when));
  EXPECT_EQ(when, 77);
  EXPECT_FALSE(store->IsRevoked(PkiCertificate("leaf_a").Get(), &when));
  EXPECT_FALSE(store->IsRevoked(nullptr, &when));

  ASSERT_EQ(source_.change_context, store.get());
  source_.certificates.push_back(ReadFile(PkiFile("leaf_a")));
  source_.Change();
  CountedPtr<X509CertificateCollection> second = store->GetMergedCollection(kStoreViewMerged);
  ASSERT_TRUE(second);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(first->GetCount(), 4);
  EXPECT_EQ(second->GetCount(), 5);
  EXPECT_TRUE(store->IsRevoked(inter.Get(), &when));
  CertificateStore::OnExternalStoreChanged(nullptr);
}

// Counts walks of the source that overlap; the store's lock must keep it at one.
class WalkCountingSource : public FakeCertSource {
 public:
  const CertStoreCertificate* NextCertificate(const CertStoreCertificate* previous) override {
    if (previous == nullptr && walkers.fetch_add(1) != 0) overlapped = true;
    const CertStoreCertificate* next = FakeCertSource::NextCertificate(previous);
    if (next == nullptr) walkers.fetch_sub(1);
    return next;
  }
  std::atomic<int> walkers{0};
  std::atomic<bool> overlapped{false};
};

TEST(CertificateStoreConcurrencyTest, ViewIsBuiltUnderTheLockWhileChangesArrive) {
  WalkCountingSource source;
  for (const char* name : {"root_a", "inter_a", "leaf_a", "deep1", "deep2", "deep3"}) {
    source.certificates.push_back(ReadFile(PkiFile(name)));
  }
  CertificateStorePtr store(CreateCertificateStore(&source, 0, kRootSetOwn, nullptr));
  ASSERT_TRUE(store && store->GetMergedCollection(kStoreViewMerged));
  CountedPtr<X509Certificate> wanted = PkiCertificate("deep3");
  std::atomic<int> misses{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (!store->FindCertificate(wanted.Get(), kStoreViewMerged)) ++misses;
      }
    });
  }
  std::thread changer([&] {
    for (int i = 0; i < 200; ++i) CertificateStore::OnExternalStoreChanged(store.get());
  });
  for (std::thread& reader : readers) reader.join();
  changer.join();
  EXPECT_FALSE(source.overlapped);
  EXPECT_EQ(misses, 0);
}

}  // namespace
}  // namespace upd::test
