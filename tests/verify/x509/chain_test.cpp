#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_cert_source.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/certhttp/download_client.h"
#include "verify/x509/certificate_store.h"
#include "verify/x509/static_cert_store.h"
#include "verify/x509/x509_chain.h"
#include "x509_pki_fixture.h"

namespace upd::test {
namespace {

struct Outcome {
  uint32_t result = 0;
  uint32_t status = 0;
};

CountedPtr<X509CertificateCollection> Collect(const std::vector<CountedPtr<X509Certificate>>& all) {
  CountedPtr<X509CertificateCollection> collection = MakeCounted<X509CertificateCollection>();
  for (const CountedPtr<X509Certificate>& certificate : all) {
    EXPECT_TRUE(certificate);
    EXPECT_TRUE(collection->Add(certificate));
  }
  return collection;
}

// A leaf, its offered intermediates and the anchors that a fixed external
// source serves to a store with no built-in roots.
struct ChainSetup {
  std::vector<CountedPtr<X509Certificate>> roots;
  std::vector<CountedPtr<X509Certificate>> intermediates;
  CountedPtr<X509Certificate> leaf;
};

std::vector<CountedPtr<X509Certificate>> PkiList(const std::vector<std::string>& names) {
  std::vector<CountedPtr<X509Certificate>> out;
  for (const std::string& name : names) out.push_back(PkiCertificate(name));
  return out;
}

std::vector<std::string> Numbered(const std::string& stem, int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i <= to; ++i) out.push_back(stem + std::to_string(i));
  return out;
}

Outcome BuildWith(const ChainSetup& setup, uint32_t flags, int64_t time,
                  const CRLRecord* revoked = nullptr) {
  StaticCertStore anchors;
  for (const CountedPtr<X509Certificate>& root : setup.roots) {
    EXPECT_TRUE(root && anchors.AddCertificate(root->GetEncoded()));
  }
  if (revoked != nullptr) {
    EXPECT_TRUE(anchors.AddCRL(revoked));
  }
  CertificateStorePtr store(CreateCertificateStore(&anchors, 0, kRootSetEmpty, nullptr));
  X509Chain chain;
  EXPECT_TRUE(store && chain.Init(store.get()));
  EXPECT_TRUE(chain.AddExtraCertificates(Collect(setup.intermediates)));
  Outcome outcome;
  outcome.result = chain.Build(setup.leaf, flags, time);
  outcome.status = chain.GetStatus();
  return outcome;
}

struct PkiCase {
  const char* name;
  std::vector<std::string> roots;
  std::vector<std::string> intermediates;
  const char* leaf;
  uint32_t flags;
  uint32_t result;
  uint32_t status;
};

TEST(X509ChainTest, GeneratedHierarchies) {
  ASSERT_FALSE(PkiDir().empty());
  const std::vector<std::string> loop = Numbered("loop", 0, 39);
  const std::vector<std::string> deep9 = Numbered("deep", 1, 9);
  const std::vector<std::string> deep12 = Numbered("deep", 1, 12);
  const PkiCase cases[] = {
      {"valid path", {"root_a"}, {"inter_a"}, "leaf_a", 0, 0, 0},
      {"valid path, network flags", {"root_a"}, {"inter_a"}, "leaf_a", 0x47, 0, 0},
      {"leaf not yet valid", {"root_a"}, {"inter_a"}, "leaf_future", 0, 0, 0x1},
      {"leaf not yet valid, fatal", {"root_a"}, {"inter_a"}, "leaf_future", 1, 42, 0x1},
      {"leaf expired, fatal", {"root_a"}, {"inter_a"}, "leaf_past", 1, 42, 0x1},
      {"intermediate not yet valid",
       {"root_a"},
       {"inter_future"},
       "leaf_under_future",
       0,
       42,
       0x10000},
      {"intermediate not yet valid, allowed",
       {"root_a"},
       {"inter_future"},
       "leaf_under_future",
       0x20,
       0,
       0x1},
      {"intermediate not yet valid, allowed, fatal",
       {"root_a"},
       {"inter_future"},
       "leaf_under_future",
       0x21,
       42,
       0x1},
      {"expired root skipped", {"root_old"}, {}, "leaf_old_root", 0, 42, 0x10000},
      {"expired root allowed", {"root_old"}, {}, "leaf_old_root", 0x20, 0, 0x1},
      {"expired root allowed, fatal", {"root_old"}, {}, "leaf_old_root", 0x21, 6, 0x1},
      {"version 1 root", {"root_v1"}, {}, "leaf_v1", 0, 42, 0x400},
      {"version 1 root, fatal", {"root_v1"}, {}, "leaf_v1", 1, 55, 0x400},
      {"self-signed leaf", {"root_a"}, {}, "self_leaf", 0, 6, 0x20},
      {"leaf in store, expired", {"leaf_past"}, {}, "leaf_past", 1, 0, 0},
      {"missing intermediate", {"root_a"}, {}, "leaf_a", 0, 42, 0x10000},
      // The name matches, the key identifier does not: not an issuer at all.
      {"issuer with another key identifier",
       {"root_a"},
       {"inter_a_impostor"},
       "leaf_a",
       0,
       42,
       0x10000},
      {"impostor beside the issuer",
       {"root_a"},
       {"inter_a_impostor", "inter_a"},
       "leaf_a",
       1,
       0,
       0},
      {"cycle", {"root_a"}, {"cycle_a", "cycle_b"}, "cycle_leaf", 0, 42, 0x10080},
      {"clean path second", {"root_v1", "root_a"}, {"cross_v1", "cross_a"}, "cross_leaf", 1, 0, 0},
      {"clean path first", {"root_v1", "root_a"}, {"cross_a", "cross_v1"}, "cross_leaf", 1, 0, 0},
      {"only the unclean path", {"root_v1"}, {"cross_v1"}, "cross_leaf", 1, 55, 0x400},
      {"forty issuers of one name", {"root_a"}, loop, "loop_leaf", 0, 42, 0x10000},
      // The budget of signature checks runs out; the bits of the path
      // explored first (bad signatures, a cycle) stay.
      {"eight issuers of one name",
       {"root_a"},
       Numbered("loop", 0, 7),
       "loop_leaf",
       0,
       42,
       0x10088},
      {"ten certificates deep", {"root_a"}, deep9, "deep_leaf9", 1, 0, 0},
      {"thirteen certificates deep", {"root_a"}, deep12, "deep_leaf12", 1, 42, 0x10000},
  };
  for (const PkiCase& c : cases) {
    const ChainSetup setup{PkiList(c.roots), PkiList(c.intermediates), PkiCertificate(c.leaf)};
    const Outcome outcome = BuildWith(setup, c.flags, kPkiTime);
    EXPECT_EQ(outcome.result, c.result) << c.name;
    EXPECT_EQ(outcome.status, c.status) << c.name;
  }
}

TEST(X509ChainTest, ChosenPathAndRootAreReported) {
  StaticCertStore anchors;
  ASSERT_TRUE(anchors.AddCertificate(PkiCertificate("root_a")->GetEncoded()));
  ASSERT_TRUE(anchors.AddCertificate(PkiCertificate("root_v1")->GetEncoded()));
  CertificateStorePtr store(CreateCertificateStore(&anchors, 0, kRootSetEmpty, nullptr));
  X509Chain chain;
  ASSERT_TRUE(store && chain.Init(store.get()));
  ASSERT_TRUE(chain.AddExtraCertificates(Collect(PkiList({"cross_v1", "cross_a"}))));
  ASSERT_EQ(chain.Build(PkiCertificate("cross_leaf"), 1, kPkiTime), 0u);
  CountedPtr<X509CertificateCollection> path = chain.GetChain();
  ASSERT_TRUE(path);
  ASSERT_EQ(path->GetCount(), 2);
  EXPECT_TRUE(path->GetAt(1)->GetEncoded().Equals(PkiCertificate("cross_a")->GetEncoded()));
  ASSERT_TRUE(chain.GetRoot());
  EXPECT_TRUE(chain.GetRoot()->GetEncoded().Equals(PkiCertificate("root_a")->GetEncoded()));
}

TEST(X509ChainTest, SelfSignedLeafAndStoredLeafEndAtOnce) {
  StaticCertStore anchors;
  ASSERT_TRUE(anchors.AddCertificate(PkiCertificate("leaf_past")->GetEncoded()));
  CertificateStorePtr store(CreateCertificateStore(&anchors, 0, kRootSetEmpty, nullptr));
  X509Chain stored;
  ASSERT_TRUE(store && stored.Init(store.get()));
  CountedPtr<X509Certificate> leaf = PkiCertificate("leaf_past");
  EXPECT_EQ(stored.Build(leaf, 3, kPkiTime), 0u);
  ASSERT_TRUE(stored.GetChain() && stored.GetRoot());
  EXPECT_EQ(stored.GetChain()->GetCount(), 1);
  EXPECT_EQ(stored.GetRoot().Get(), leaf.Get());

  X509Chain self;
  ASSERT_TRUE(self.Init(store.get()));
  CountedPtr<X509Certificate> self_leaf = PkiCertificate("self_leaf");
  EXPECT_EQ(self.Build(self_leaf, 0, kPkiTime), 6u);
  EXPECT_EQ(self.GetStatus(), 0x20u);
  ASSERT_TRUE(self.GetChain());
  EXPECT_TRUE(self.GetChain()->IsEmpty());
  EXPECT_EQ(self.GetRoot().Get(), self_leaf.Get());
}

TEST(X509ChainTest, RevokedIntermediateFailsOnlyWithTheRevocationFlag) {
  CountedPtr<X509Certificate> inter = PkiCertificate("inter_a");
  const ByteArray& issuer = inter->GetIssuerName().Encoding();
  const ByteArray& serial = inter->GetSerialNumber();
  const CRLRecordEntry entry{static_cast<uint32_t>(serial.GetLength()), serial.GetData(), 1};
  const CRLRecord record{static_cast<uint32_t>(issuer.GetLength()), issuer.GetData(), 1, &entry};
  const ChainSetup setup{PkiList({"root_a"}), {inter}, PkiCertificate("leaf_a")};
  const Outcome checked = BuildWith(setup, 0x2, kPkiTime, &record);
  EXPECT_EQ(checked.result, 42u);
  EXPECT_EQ(checked.status, 0x4u);
  const Outcome unchecked = BuildWith(setup, 0, kPkiTime, &record);
  EXPECT_EQ(unchecked.result, 0u);
  EXPECT_EQ(unchecked.status, 0u);
}

TEST(X509ChainTest, OwnRootsAreBuiltIn) {
  const CountedPtr<X509Certificate> leaf = PkiCertificate("own_leaf");
  for (const uint32_t set : {kRootSetOwn, kRootSetPublic}) {
    CertificateStorePtr store(CreateCertificateStore(nullptr, 0, set, nullptr));
    X509Chain chain;
    ASSERT_TRUE(store && chain.Init(store.get()));
    ASSERT_TRUE(chain.AddExtraCertificates(Collect(PkiList({"own_inter"}))));
    EXPECT_EQ(chain.Build(leaf, 0x47, kPkiTime), 0u) << set;
    EXPECT_EQ(chain.GetStatus(), 0u) << set;
  }
  CertificateStorePtr empty(CreateCertificateStore(nullptr, 0, kRootSetEmpty, nullptr));
  X509Chain chain;
  ASSERT_TRUE(empty && chain.Init(empty.get()));
  ASSERT_TRUE(chain.AddExtraCertificates(Collect(PkiList({"own_inter"}))));
  EXPECT_EQ(chain.Build(leaf, 0x47, kPkiTime), 42u);
  EXPECT_EQ(chain.GetStatus(), 0x10000u);
}

TEST(X509ChainTest, SecondBuildRechecksTheChainItHolds) {
  StaticCertStore anchors;
  ASSERT_TRUE(anchors.AddCertificate(PkiCertificate("root_a")->GetEncoded()));
  CertificateStorePtr store(CreateCertificateStore(&anchors, 0, kRootSetEmpty, nullptr));
  X509Chain chain;
  ASSERT_TRUE(store && chain.Init(store.get()));
  ASSERT_TRUE(chain.AddExtraCertificates(Collect(PkiList({"inter_a"}))));
  CountedPtr<X509Certificate> leaf = PkiCertificate("leaf_a");
  ASSERT_EQ(chain.Build(leaf, 1, kPkiTime), 0u);
  EXPECT_EQ(chain.Build(leaf, 1, kPkiTime), 0u);
  EXPECT_EQ(chain.GetStatus(), 0u);
  // A leaf that the held chain does not continue: no root.
  EXPECT_EQ(chain.Build(PkiCertificate("leaf_v1"), 0, kPkiTime), 6u);
  EXPECT_FALSE(chain.GetRoot());
}

// Handlers are plain functions, so they report through these.
struct HandlerLog {
  int fetches = 0;
  std::string fetched_hash;
  uint32_t fetch_result = 0;
  int queries = 0;
  std::string accept_hash;
  uint32_t query_size = 0;
  uint32_t verdict_before = 0;
};
HandlerLog g_log;

uint32_t FetchTrustList(CertStoreInterface* /*store*/, const CertStoreBlob* hash) {
  ++g_log.fetches;
  g_log.fetched_hash.assign(reinterpret_cast<const char*>(hash->data), hash->length);
  return g_log.fetch_result;
}

uint32_t QueryAnchor(AnchorQuery* request) {
  ++g_log.queries;
  g_log.query_size = request->size;
  g_log.verdict_before = request->verdict;
  const std::string hash(reinterpret_cast<const char*>(request->thumbprint),
                         request->thumbprint_length);
  request->verdict = hash == g_log.accept_hash ? 0 : 1;
  return 0;
}

std::string Sha1Of(const X509Certificate& certificate) {
  ByteArray hash;
  EXPECT_TRUE(certificate.ComputeHash(kHashSHA1, hash));
  return std::string(reinterpret_cast<const char*>(hash.GetData()), hash.GetLength());
}

class ChainHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = HandlerLog();
    source_.certificates = {ReadFile(PkiFile("root_a"))};
    store_.reset(CreateCertificateStore(&source_, 0, kRootSetEmpty, nullptr));
    ASSERT_TRUE(store_ && chain_.Init(store_.get()));
    ASSERT_TRUE(chain_.AddExtraCertificates(Collect(PkiList({"inter_a"}))));
  }
  uint32_t Build(uint32_t flags) { return chain_.Build(leaf_, flags, kPkiTime); }

  FakeCertSource source_;
  CertificateStorePtr store_;
  X509Chain chain_;
  CountedPtr<X509Certificate> leaf_ = PkiCertificate("leaf_a");
};

TEST_F(ChainHandlerTest, NullTrustListHandlerFailsBeforeAnyLookup) {
  source_.handlers = {{kHandlerTrustListFetch, nullptr}};
  EXPECT_EQ(Build(0), 18u);
  EXPECT_EQ(source_.loads + source_.subscribes, 0);
  EXPECT_EQ(Build(0x80), 0u);
}

TEST_F(ChainHandlerTest, TrustListFetchGetsTheLeafThumbprintAndItsCodeIsPassedOn) {
  source_.handlers = {
      {kHandlerTrustListFetch, reinterpret_cast<CertStoreHandler>(&FetchTrustList)}};
  g_log.fetch_result = 37;
  EXPECT_EQ(Build(0), 37u);
  EXPECT_EQ(g_log.fetched_hash, Sha1Of(*leaf_));
  g_log.fetch_result = 0;
  EXPECT_EQ(Build(0), 0u);
  EXPECT_EQ(g_log.fetches, 2);
  EXPECT_EQ(Build(0x80), 0u);
  EXPECT_EQ(g_log.fetches, 2);
}

TEST_F(ChainHandlerTest, AnchorQueryAcceptsOrRefusesTheFirstUnstoredCertificate) {
  source_.certificates.clear();  // no stored roots: only the query can anchor the path
  source_.handlers = {{kHandlerAnchorQuery, reinterpret_cast<CertStoreHandler>(&QueryAnchor)}};
  g_log.accept_hash = Sha1Of(*leaf_);
  EXPECT_EQ(Build(0), 0u);
  EXPECT_EQ(g_log.query_size, 24u);
  EXPECT_EQ(g_log.verdict_before, 0xFFFFFFFFu);
  ASSERT_TRUE(chain_.GetRoot());
  EXPECT_EQ(chain_.GetRoot().Get(), leaf_.Get());

  X509Chain refused;
  ASSERT_TRUE(refused.Init(store_.get()));
  g_log.accept_hash = "nothing";
  EXPECT_EQ(refused.Build(leaf_, 0, kPkiTime), 41u);
  X509Chain not_asked;
  ASSERT_TRUE(not_asked.Init(store_.get()));
  const int queries = g_log.queries;
  EXPECT_EQ(not_asked.Build(leaf_, 0x40, kPkiTime), 42u);
  EXPECT_EQ(g_log.queries, queries);
}

TEST_F(ChainHandlerTest, RootsOnlyLookupsIgnoreTheExternalSource) {
  EXPECT_EQ(Build(0x84), 42u);
  EXPECT_EQ(chain_.GetStatus(), 0x10000u);
  EXPECT_EQ(source_.loads + source_.subscribes, 0);
  X509Chain merged;
  ASSERT_TRUE(merged.Init(store_.get()));
  ASSERT_TRUE(merged.AddExtraCertificates(Collect(PkiList({"inter_a"}))));
  EXPECT_EQ(merged.Build(leaf_, 0x80, kPkiTime), 0u);
}

// Serves one body for every URL and records the request.
class FakeDownloadClient : public AuthenticodeHttpClientInterface {
 public:
  uint32_t Download(ByteArray& output, const char* url, uint64_t url_length,
                    uint32_t timeout_seconds, uint64_t max_bytes) override {
    ++calls;
    this->url.assign(url, url_length);
    timeout = timeout_seconds;
    limit = max_bytes;
    if (result == 0 && !output.Assign(static_cast<int64_t>(body.size()), body.data())) return 12;
    return result;
  }
  std::string body;
  uint32_t result = 0;
  int calls = 0;
  std::string url;
  uint32_t timeout = 0;
  uint64_t limit = 0;
};

TEST(X509ChainDownloadTest, MissingIssuerIsFetchedFromTheLastCaIssuersLocation) {
  StaticCertStore anchors;
  ASSERT_TRUE(anchors.AddCertificate(PkiCertificate("root_a")->GetEncoded()));
  FakeDownloadClient client;
  client.body = ReadFile(PkiFile("inter_a"));
  CertificateStorePtr store(CreateCertificateStore(&anchors, 0, kRootSetEmpty, &client));
  ASSERT_TRUE(store);
  CountedPtr<X509Certificate> leaf = PkiCertificate("leaf_aia");
  X509Chain without;
  ASSERT_TRUE(without.Init(store.get()));
  EXPECT_EQ(without.Build(leaf, 0, kPkiTime), 42u);
  EXPECT_EQ(client.calls, 0);

  X509Chain with;
  ASSERT_TRUE(with.Init(store.get()));
  EXPECT_EQ(with.Build(leaf, 0x100, kPkiTime), 0u);
  EXPECT_EQ(client.url, "http://pki.test/inter_a.der");
  EXPECT_EQ(client.timeout, 60u);
  EXPECT_EQ(client.limit, 51200u);
  EXPECT_EQ(with.GetExtraCertificates()->GetCount(), 1);

  client.result = 37;
  X509Chain failing;
  ASSERT_TRUE(failing.Init(store.get()));
  EXPECT_EQ(failing.Build(leaf, 0x100, kPkiTime), 37u);
}

// PKITS paths under its trust anchor at 2023-11-14, each also put to
// `openssl verify -attime`.
struct PkitsCase {
  const char* leaf;
  std::vector<std::string> intermediates;  // nearest the root first
  uint32_t result;
  uint32_t status;
  bool openssl_agrees;
};

constexpr int64_t kPkitsTime = 1700000000;

bool OpensslAccepts(const PkitsCase& c) {
  TempDir dir;
  auto pem = [&](const std::string& name, const std::string& target) {
    return "openssl x509 -inform DER -in " + PkitsCert(name) + " >> " + target + " && ";
  };
  std::string command = pem("TrustAnchorRootCertificate", dir.file("root.pem"));
  command += ": > " + dir.file("inter.pem") + " && ";
  for (const std::string& name : c.intermediates) command += pem(name, dir.file("inter.pem"));
  command += pem(c.leaf, dir.file("leaf.pem"));
  command += "openssl verify -attime " + std::to_string(kPkitsTime) + " -CAfile " +
             dir.file("root.pem") + " -untrusted " + dir.file("inter.pem") + " " +
             dir.file("leaf.pem") + " >/dev/null 2>&1";
  return RunCommand(command) == 0;
}

TEST(X509ChainPkitsTest, PathsAgreeWithOpenssl) {
  const PkitsCase cases[] = {
      {"ValidCertificatePathTest1EE", {"GoodCACert"}, 0, 0, true},
      {"InvalidCASignatureTest2EE", {"BadSignedCACert"}, 42, 0x8, true},
      {"InvalidEESignatureTest3EE", {"GoodCACert"}, 42, 0x8, true},
      {"InvalidCAnotBeforeDateTest1EE", {"BadnotBeforeDateCACert"}, 42, 0x10000, true},
      {"InvalidEEnotBeforeDateTest2EE", {"GoodCACert"}, 42, 0x1, true},
      {"InvalidCAnotAfterDateTest5EE", {"BadnotAfterDateCACert"}, 42, 0x10000, true},
      {"InvalidEEnotAfterDateTest6EE", {"GoodCACert"}, 42, 0x1, true},
      {"ValidGeneralizedTimenotBeforeDateTest4EE", {"GoodCACert"}, 0, 0, true},
      {"InvalidNameChainingTest1EE", {"GoodCACert"}, 42, 0x10000, true},
      {"InvalidMissingbasicConstraintsTest1EE", {"MissingbasicConstraintsCACert"}, 55, 0x400, true},
      {"InvalidcAFalseTest2EE", {"basicConstraintsCriticalcAFalseCACert"}, 55, 0x400, true},
      {"InvalidcAFalseTest3EE", {"basicConstraintsNotCriticalcAFalseCACert"}, 55, 0x400, true},
      {"ValidbasicConstraintsNotCriticalTest4EE",
       {"basicConstraintsNotCriticalCACert"},
       0,
       0,
       true},
      {"InvalidkeyUsageCriticalkeyCertSignFalseTest1EE",
       {"keyUsageCriticalkeyCertSignFalseCACert"},
       55,
       0x400,
       true},
      {"InvalidkeyUsageNotCriticalkeyCertSignFalseTest2EE",
       {"keyUsageNotCriticalkeyCertSignFalseCACert"},
       55,
       0x400,
       true},
      {"ValidkeyUsageNotCriticalTest3EE", {"keyUsageNotCriticalCACert"}, 0, 0, true},
      {"ValidpathLenConstraintTest7EE", {"pathLenConstraint0CACert"}, 0, 0, true},
      {"InvalidpathLenConstraintTest5EE",
       {"pathLenConstraint0CACert", "pathLenConstraint0subCACert"},
       55,
       0x400,
       true},
      {"InvalidpathLenConstraintTest10EE",
       {"pathLenConstraint6CACert", "pathLenConstraint6subCA0Cert",
        "pathLenConstraint6subsubCA00Cert"},
       55,
       0x400,
       true},
      {"ValidpathLenConstraintTest13EE",
       {"pathLenConstraint6CACert", "pathLenConstraint6subCA4Cert",
        "pathLenConstraint6subsubCA41Cert", "pathLenConstraint6subsubsubCA41XCert"},
       0,
       0,
       true},
      // Self-issued intermediates count toward the path length here, unlike
      // in openssl.
      {"ValidSelfIssuedpathLenConstraintTest15EE",
       {"pathLenConstraint0CACert", "pathLenConstraint0SelfIssuedCACert"},
       55,
       0x400,
       false},
  };
  CountedPtr<X509Certificate> anchor = LoadCertificateFile(PkitsCert("TrustAnchorRootCertificate"));
  ASSERT_TRUE(anchor);
  for (const PkitsCase& c : cases) {
    ChainSetup setup{{anchor}, {}, LoadCertificateFile(PkitsCert(c.leaf))};
    for (const std::string& name : c.intermediates) {
      setup.intermediates.push_back(LoadCertificateFile(PkitsCert(name)));
    }
    const Outcome outcome = BuildWith(setup, kChainTimeErrorsFatal, kPkitsTime);
    EXPECT_EQ(outcome.result, c.result) << c.leaf;
    EXPECT_EQ(outcome.status, c.status) << c.leaf;
    EXPECT_EQ(OpensslAccepts(c) == (c.result == 0), c.openssl_agrees) << c.leaf;
  }
}

}  // namespace
}  // namespace upd::test
