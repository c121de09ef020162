#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ctl_test_env.h"
#include "support/ctl_fixture.h"
#include "support/der_testing.h"
#include "verify/certhttp/scripted_server.h"
#include "verify/ctl/ctl_store.h"
#include "verify/ctl/trust_list.h"
#include "verify/pkcs7/pkcs7_content_info.h"

namespace {

using certhttp_test::Exchange;
using certhttp_test::Reply;
using certhttp_test::Response;
using certhttp_test::ScriptedServer;
using ctl_test::Env;
using ctl_test::MakeList;
using ctl_test::Sha1Hex;
using upd::test::CtlPki;
namespace fs = std::filesystem;

std::string Url(const ScriptedServer& server) { return "http://" + server.address() + "/pki"; }

Exchange Serve(const std::string& file) {
  return Reply(Response("HTTP/1.1 200 OK", upd::test::ReadFile(file)), "close");
}

uint32_t Fetch(CTLCertStoreImpl& store, const std::string& leaf) {
  const std::string hash = upd::test::Unhex(Sha1Hex(leaf));
  const CertStoreBlob blob{reinterpret_cast<const uint8_t*>(hash.data()), hash.size()};
  return CTLCertStoreImpl::FetchTrustList(&store, &blob);
}

int64_t Held(CTLCertStoreImpl& store) {
  return store.GetCertificates().IsEmpty() ? 0 : store.GetCertificates()->GetCount();
}

const std::vector<std::string> kListed = {"signer", "inter"};
const std::vector<std::string> kCarried = {"inter"};

TEST(TrustListStoreTest, CachedListIsUsedWithoutARequest) {
  ScriptedServer server({}, true);
  ASSERT_TRUE(server.running());
  Env env(Url(server));
  env.Cache("server", MakeList(env.temp().file("list.stl")));
  uint32_t status = 1;
  EXPECT_EQ(env.Verify({"server"}, status), 0u);
  EXPECT_EQ(status, 0u);
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(fs::is_directory(env.temp().file("cache/crl")));
}

TEST(TrustListStoreTest, DownloadedListIsCheckedThenSaved) {
  upd::test::TempDir lists;
  const std::string good = MakeList(lists.file("good.stl"));
  ScriptedServer server({Serve(good)}, true);
  ASSERT_TRUE(server.running());
  Env env(Url(server));
  uint32_t status = 1;
  EXPECT_EQ(env.Verify({"server"}, status), 0u);
  EXPECT_EQ(status, 0u);
  const std::vector<certhttp_test::Request> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw.rfind("GET /pki/ctl/" + Sha1Hex("server") + ".stl HTTP/1.1\r\n", 0), 0u)
      << requests[0].raw;
  EXPECT_EQ(upd::test::ReadFile(env.CtlPath("server")), upd::test::ReadFile(good));
}

// The store's credential reaches the PKI server when it asks for one.
TEST(TrustListStoreTest, CredentialIsGivenToTheServer) {
  upd::test::TempDir lists;
  const std::string good = MakeList(lists.file("good.stl"));
  ScriptedServer server({Reply(Response("HTTP/1.1 401 Unauthorized", "",
                                        "WWW-Authenticate: Basic realm=\"pki\"\r\n")),
                         Serve(good)},
                        true);
  ASSERT_TRUE(server.running());
  CountedPtr<NetworkCredential> credential = MakeCounted<NetworkCredential>();
  ASSERT_TRUE(credential->Set("user", "pw"));
  upd::test::TempDir temp;
  CertificateStorePtr trust(CreateCertificateStore(nullptr, 0, kTlsRootSet, nullptr));
  CTLCertStoreImpl store;
  ASSERT_TRUE(store.Initialize(Url(server).c_str(), credential, {}, temp.file("cache").c_str(),
                               trust.get(), upd::test::kCtlTestTime, kTlsChainFlags));
  EXPECT_EQ(Fetch(store, "server"), kFetchOk);
  const std::vector<certhttp_test::Request> requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  // base64("user:pw")
  EXPECT_NE(requests.back().raw.find("Authorization: Basic dXNlcjpwdw==\r\n"), std::string::npos)
      << requests.back().raw;
}

// The outer and the encapsulated content types are checked before anything else.
TEST(TrustListStoreTest, ContentTypesMustBeThoseOfATrustList) {
  Env env;
  CtlPki& pki = CtlPki::Get();
  const std::string content = pki.Content(env.temp().file("ctl.der"), kListed);
  // The same list signed as plain data.
  const std::string data = env.temp().file("data.p7");
  ASSERT_EQ(upd::test::RunCommand("openssl cms -sign -binary -nodetach -nosmimecap -md sha256 "
                                  "-outform DER -in " +
                                  content + " -signer " + pki.Path("signer.pem") + " -inkey " +
                                  pki.Path("signer.key") + " -certfile " + pki.Path("inter.pem") +
                                  " -out " + data),
            0);
  EXPECT_TRUE(env.lists().ParseTrustList(upd::test::BytesOf(upd::test::ReadFile(data))).IsEmpty());
  // A good list passes the same check.
  const std::string good = MakeList(env.temp().file("good.stl"));
  CountedPtr<X509CertificateCollection> held =
      env.lists().ParseTrustList(upd::test::BytesOf(upd::test::ReadFile(good)));
  ASSERT_FALSE(held.IsEmpty());
  EXPECT_EQ(held->GetCount(), 2);
  // The bare signedData content, without its ContentInfo, is no list.
  CountedPtr<CPKCS7::ContentInfo> outer =
      CPKCS7::ContentInfo::Parse(upd::test::BytesOf(upd::test::ReadFile(good)), false);
  ASSERT_FALSE(outer.IsEmpty());
  EXPECT_TRUE(env.lists().ParseTrustList(outer->GetContent()).IsEmpty());
}

TEST(TrustListStoreTest, TransferFailuresAreReturned) {
  ScriptedServer missing({Reply(Response("HTTP/1.1 404 Not Found", "gone"), "close")}, true);
  ASSERT_TRUE(missing.running());
  Env env404(Url(missing));
  EXPECT_EQ(Fetch(env404.lists(), "server"), 38u);
  EXPECT_FALSE(fs::exists(env404.CtlPath("server")));

  // A loopback address where nothing listens.
  Env down("http://127.0.0.1/pki");
  EXPECT_EQ(Fetch(down.lists(), "server"), 37u);
  EXPECT_FALSE(fs::exists(down.CtlPath("server")));

  Env https("https://127.0.0.1/pki");
  EXPECT_EQ(Fetch(https.lists(), "server"), 36u);
  Env short_url("h");
  EXPECT_EQ(Fetch(short_url.lists(), "server"), 12u);
}

struct RefusedCase {
  const char* name;
  const char* signer;
  std::vector<std::string> listed;
  std::vector<std::string> carried;
  const char* content_options;
  const char* edits;
};

class RefusedListTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedListTest, IsNotMergedNorSaved) {
  const RefusedCase& c = GetParam();
  upd::test::TempDir lists;
  std::string file =
      MakeList(lists.file("list.stl"), c.signer, c.listed, c.carried, c.content_options);
  if (*c.edits != '\0') file = CtlPki::Get().Edit(file, lists.file("edited.stl"), c.edits);
  ScriptedServer server({Serve(file)}, true);
  ASSERT_TRUE(server.running());
  Env env(Url(server));
  EXPECT_EQ(Fetch(env.lists(), "server"), kFetchRejected);
  EXPECT_EQ(Held(env.lists()), 0);
  EXPECT_FALSE(fs::exists(env.CtlPath("server")));
  EXPECT_EQ(server.Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedListTest,
    ::testing::Values(
        RefusedCase{"CertificateMoreThanSubjects",
                    "signer",
                    kListed,
                    {"inter", "inter2"},
                    "--hash sha1",
                    ""},
        RefusedCase{
            "CertificateNotListed", "signer", {"signer", "inter2"}, kCarried, "--hash sha1", ""},
        RefusedCase{"ShortHashesUnderSha256", "signer", kListed, kCarried,
                    "--hash sha256 --subject-size 20", ""},
        RefusedCase{"Md5Subjects", "signer", kListed, kCarried, "--hash md5", ""},
        RefusedCase{"AlteredContentByte", "signer", kListed, kCarried, "--hash sha1",
                    "flip-content=30"},
        RefusedCase{"InnerIndefinite", "signer", kListed, kCarried, "--hash sha1",
                    "inner-indefinite"},
        RefusedCase{"SignerUnderForeignRoot",
                    "foreign_signer",
                    {"foreign_signer", "inter"},
                    kCarried,
                    "--hash sha1",
                    ""},
        RefusedCase{"ExpiredSigner",
                    "signer_expired",
                    {"signer_expired", "inter"},
                    kCarried,
                    "--hash sha1",
                    ""}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST(TrustListStoreTest, AcceptedForms) {
  struct Case {
    const char* name;
    const char* signer;
    std::vector<std::string> listed;
    const char* content_options;
  } cases[] = {
      {"SHA-256 subjects", "signer", kListed, "--hash sha256"},
      {"extensions after the subjects", "signer", kListed, "--hash sha1 --extensions"},
      {"signer under root10", "signer10", {"signer10", "inter"}, "--hash sha1"},
      {"EC P-256 signer", "signer_ec", {"signer_ec", "inter"}, "--hash sha1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Env env;
    env.Cache("server", MakeList(env.temp().file("list.stl"), c.signer, c.listed, kCarried,
                                 c.content_options));
    EXPECT_EQ(Fetch(env.lists(), "server"), kFetchOk);
    EXPECT_EQ(Held(env.lists()), 2);
  }
}

// A cached copy that fails its check (here: its signer has expired by now)
// is deleted and replaced by a fresh download that passed.
TEST(TrustListStoreTest, StaleCachedCopyIsFetchedAgain) {
  upd::test::TempDir lists;
  const std::string good = MakeList(lists.file("good.stl"));
  ScriptedServer server({Serve(good)}, true);
  ASSERT_TRUE(server.running());
  Env env(Url(server));
  env.Cache("server",
            MakeList(lists.file("old.stl"), "signer_expired", {"signer_expired", "inter"}));
  EXPECT_EQ(Fetch(env.lists(), "server"), kFetchOk);
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(upd::test::ReadFile(env.CtlPath("server")), upd::test::ReadFile(good));
}

TEST(TrustListStoreTest, CacheSizeLimit) {
  upd::test::TempDir lists;
  const std::string good = MakeList(lists.file("good.stl"));
  for (const int64_t size : {kTrustListCacheLimit, kTrustListCacheLimit + 1}) {
    SCOPED_TRACE(size);
    ScriptedServer server({Serve(good)}, true);
    ASSERT_TRUE(server.running());
    Env env(Url(server));
    // Bytes after the ContentInfo do not disturb its reading.
    std::string padded = upd::test::ReadFile(good);
    padded.resize(static_cast<size_t>(size), '\0');
    fs::create_directories(env.temp().file("cache/ctl"));
    upd::test::WriteFile(env.CtlPath("server"), padded);
    EXPECT_EQ(Fetch(env.lists(), "server"), kFetchOk);
    const bool read = size <= kTrustListCacheLimit;
    EXPECT_EQ(server.Requests().size(), read ? 0u : 1u);
    EXPECT_EQ(fs::file_size(env.CtlPath("server")),
              read ? static_cast<uintmax_t>(size) : fs::file_size(good));
  }
}

TEST(TrustListStoreTest, ThumbprintLengthAndArguments) {
  Env env("http://127.0.0.1/pki", true);
  const std::string path = env.CtlPath("server");
  for (const size_t n : {19u, 21u}) {
    SCOPED_TRACE(n);
    const std::vector<uint8_t> thumbprint(n, 0xAB);
    const CertStoreBlob blob{thumbprint.data(), n};
    EXPECT_EQ(CTLCertStoreImpl::FetchTrustList(&env.lists(), &blob), kFetchNoMemory);
    EXPECT_TRUE(fs::is_directory(env.temp().file("cache/ctl")));
    EXPECT_TRUE(fs::is_directory(env.temp().file("cache/crl")));
    EXPECT_TRUE(fs::is_empty(env.temp().file("cache/ctl")));
  }
  const uint8_t byte = 0;
  const CertStoreBlob empty{&byte, 0};
  EXPECT_EQ(CTLCertStoreImpl::FetchTrustList(&env.lists(), &empty), kFetchBadArgument);
  EXPECT_EQ(CTLCertStoreImpl::FetchTrustList(&env.lists(), nullptr), kFetchBadArgument);
  EXPECT_EQ(CTLCertStoreImpl::FetchTrustList(nullptr, &empty), kFetchBadArgument);
  CTLCertStoreImpl fresh;
  const CertStoreBlob one{&byte, 1};
  EXPECT_EQ(CTLCertStoreImpl::FetchTrustList(&fresh, &one), kFetchBadArgument);
  EXPECT_FALSE(fresh.Load());

  // A cache folder that is a file cannot hold the "ctl" folder.
  upd::test::TempDir temp;
  upd::test::WriteFile(temp.file("file"), "x");
  CTLCertStoreImpl blocked;
  ASSERT_TRUE(blocked.Initialize("http://127.0.0.1/", {}, {}, temp.file("file").c_str(), nullptr, 0,
                                 kTlsChainFlags));
  EXPECT_EQ(Fetch(blocked, "server"), kFetchNoCacheFolder);
}

TEST(TrustListStoreTest, TrailingSlashGivesTheSamePath) {
  Env env("http://127.0.0.1/pki", true);
  env.Cache("server", MakeList(env.temp().file("list.stl")));
  EXPECT_EQ(Fetch(env.lists(), "server"), kFetchOk);
}

TEST(TrustListStoreTest, TwoListsAccumulateAndTheWalkHandsOutEach) {
  Env env;
  env.Cache("server", MakeList(env.temp().file("a.stl")));
  env.Cache("other", MakeList(env.temp().file("b.stl"), "signer10", {"signer10", "inter2", "inter"},
                              {"inter2", "inter"}));
  EXPECT_EQ(Fetch(env.lists(), "server"), kFetchOk);
  EXPECT_EQ(Fetch(env.lists(), "other"), kFetchOk);
  ASSERT_EQ(Held(env.lists()), 5);  // "inter" is held twice

  CountedPtr<X509CertificateCollection> held = env.lists().GetCertificates();
  int64_t index = 0;
  for (const CertStoreCertificate* item = env.lists().NextCertificate(nullptr); item != nullptr;
       item = env.lists().NextCertificate(item), ++index) {
    ASSERT_LT(index, held->GetCount());
    EXPECT_TRUE(held->GetAt(index)->GetEncoded().Equals(item->length, item->bytes));
  }
  EXPECT_EQ(index, 5);
  // The leaf under root10's CA is trusted through the second list.
  uint32_t status = 1;
  EXPECT_EQ(env.Verify({"other"}, status), 0u);

  env.lists().Close();
  EXPECT_FALSE(env.lists().HasCertificates());
  EXPECT_EQ(env.lists().NextCertificate(nullptr), nullptr);
}

TEST(TrustListStoreTest, Handlers) {
  CTLCertStoreImpl store;
  CertStoreHandler handler = nullptr;
  EXPECT_TRUE(store.GetHandler(kHandlerTrustListFetch, &handler));
  EXPECT_EQ(reinterpret_cast<TrustListFetchHandler>(handler), &CTLCertStoreImpl::FetchTrustList);
  EXPECT_FALSE(store.GetHandler(kHandlerKeepOpen, &handler));
  EXPECT_FALSE(store.GetHandler(kHandlerAnchorQuery, &handler));
  EXPECT_EQ(store.Subscribe(kSubscribeChanges, nullptr, nullptr), 0u);
  EXPECT_EQ(store.NextCRL(nullptr), nullptr);
  EXPECT_FALSE(store.Initialize(nullptr, {}, {}, "/tmp", nullptr, 0, 0));
  EXPECT_TRUE(store.Load());
}

}  // namespace
