#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "https_fixture.h"
#include "net/http/server_certificate_check.h"
#include "platform/util/update_errors.h"
#include "support/ctl_fixture.h"
#include "support/curl_client.h"
#include "verify/certhttp/scripted_server.h"
#include "verify/x509/peer_certificate_list.h"

// The server-certificate check of the TLS transport: on only with a
// certificate cache folder; the product's roots through trust lists first,
// then the system's trust store; the host named by the certificate either way.
namespace upd::test {
namespace {

// Nobody listens on port 80 there.
constexpr char kNoPkiServer[] = "http://127.0.0.1/";

std::string Sha1Hex(const std::string& path) {
  std::string out;
  EXPECT_EQ(RunCommand("sha1sum " + path, &out), 0);
  return out.substr(0, 40);
}

class HttpsCertificateTest : public HttpsTest {
 protected:
  void SetUp() override {
    HttpsTest::SetUp();
    // Trust lists cannot be fetched unless a test serves them (the PKI
    // server is always reached on port 80).
    SetPkiBaseUrl(kNoPkiServer);
  }
  void TearDown() override { SetPkiBaseUrl(nullptr); }

  // One download over a transport of its own; the check on when folder is given.
  UPD_ERROR FetchOnce(const std::string& host, const char* folder) {
    CSslProtocol ssl;
    CHttpTransport https(ssl, true);
    if (folder != nullptr) https.SetCertificateCacheFolder(folder);
    HttpRequestParams params = Params(host, "/", "w.txt");
    params.skip_head = true;
    CBuffer body;
    const UPD_ERROR result =
        https.DownloadToBuffer(params, &body, config_, &response_, 0, 0, nullptr);
    if (result == kUpdOk) {
      EXPECT_EQ(Contents(body), "served");
    }
    return result;
  }

  // s_server -WWW with the server certificate of the trust-list fixtures
  // (under the build's root9), sending its server CA along.
  OpenSslServer& StartOwnPkiServer() {
    CtlPki& own = CtlPki::Get();
    OpenSslServerOptions options;
    options.certificate = own.Path("server.pem");
    options.key = own.Path("server.key");
    options.chain = own.Path("inter.pem");
    OpenSslServer& server = StartWww(options);
    WriteFile(server.folder().file("w.txt"), "served");
    return server;
  }

  // The signed trust list of the fixtures' server certificate, served by a
  // PKI server on port 80 of a loopback address of its own.
  certhttp_test::ScriptedServer& ServeTrustList() {
    CtlPki& own = CtlPki::Get();
    const std::string list = dir_.file("server.stl");
    own.Sign(list, own.Content(list + ".content", {"signer", "inter"}), "signer", {"inter"});
    pki_server_ = std::make_unique<certhttp_test::ScriptedServer>(
        std::vector<certhttp_test::Exchange>{certhttp_test::Reply(
            certhttp_test::Response("HTTP/1.1 200 OK", ReadFile(list)), "close")},
        true);
    EXPECT_TRUE(pki_server_->running());
    SetPkiBaseUrl(("http://" + pki_server_->address() + "/pki").c_str());
    return *pki_server_;
  }

  std::string Cache() const { return dir_.file("cache"); }

  std::unique_ptr<certhttp_test::ScriptedServer> pki_server_;
};

// Certificates the system trust store judges (the tests' root is the only
// one there): refused ones fail the connection with the check on and pass
// with it off.
TEST_F(HttpsCertificateTest, TheSystemCheckDecidesWhenTheOwnRootsDoNot) {
  struct Case {
    const char* what;
    std::string leaf;
    std::initializer_list<std::string> chain;
    std::string host;
    bool accepted;
  };
  const Case cases[] = {
      {"good chain", "server", {"inter"}, "localhost", true},
      {"good chain at its address", "server", {"inter"}, "127.0.0.1", true},
      {"good chain and an expired cross-sign", "server", {"inter", "cross_expired"}, "localhost",
       true},
      {"expired", "expired", {"inter"}, "localhost", false},
      {"self-signed", "self_signed", {}, "localhost", false},
      {"unknown root", "stranger", {"stranger_root"}, "localhost", false},
      {"intermediate missing", "server", {}, "localhost", false},
      {"another server's name", "server_sni", {"inter"}, "localhost", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenSslServer& server = StartWww(c.leaf, c.chain);
    WriteFile(server.folder().file("w.txt"), "served");
    const std::string host = c.host + ":" + std::to_string(server.port());
    EXPECT_EQ(FetchOnce(host, Cache().c_str()), c.accepted ? kUpdOk : kUpdServerUnreachable);
    EXPECT_EQ(FetchOnce(host, nullptr), kUpdOk) << "with the check off";
  }
}

// What OpenSSL's TLS clients ask of a server's certificate the system check
// asks too (purpose and security level); curl, with the same trust, is the
// oracle. s_server runs at security level 0 so that it serves the weak ones.
TEST_F(HttpsCertificateTest, TheSystemCheckHoldsServersToTheTlsServerPolicy) {
  ASSERT_TRUE(pki_.AddPolicyShapes());
  const std::string trust = dir_.file("trust.pem");
  WriteFile(trust, ReadFile(pki_.Pem("root")) + ReadFile(pki_.Pem("sha1_root")));
  setenv("SSL_CERT_FILE", trust.c_str(), 1);
  struct Case {
    const char* what;
    std::string leaf;
    std::initializer_list<std::string> chain;
    bool accepted;
  };
  const Case cases[] = {
      {"RSA-2048 key", "rsa2048", {"inter"}, true},
      {"no extended key usage", "no_eku", {"inter"}, true},
      {"under a root signed by itself with SHA-1", "under_sha1_root", {}, true},
      {"client authentication only", "client_only", {"inter"}, false},
      {"RSA-1024 key", "rsa1024", {"inter"}, false},
      {"signed with SHA-1", "sha1_leaf", {"inter"}, false},
      {"under an intermediate signed with SHA-1", "under_sha1_inter", {"sha1_inter"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenSslServerOptions options;
    options.certificate = pki_.Pem(c.leaf);
    options.key = pki_.Key(c.leaf);
    if (c.chain.size() != 0) options.chain = ChainFile(c.chain);
    options.arguments = {"-cipher", "DEFAULT:@SECLEVEL=0"};
    OpenSslServer& server = StartWww(options);
    WriteFile(server.folder().file("w.txt"), "served");
    const std::string host = "localhost:" + std::to_string(server.port());
    EXPECT_EQ(FetchOnce(host, Cache().c_str()), c.accepted ? kUpdOk : kUpdServerUnreachable);
    EXPECT_EQ(FetchOnce(host, nullptr), kUpdOk) << "with the check off";
    const CurlResult curl = Curl("--cacert '" + trust + "' 'https://" + host + "/w.txt'");
    EXPECT_EQ(curl.status == 0 && curl.out == "served", c.accepted) << "the oracle";
  }
}

TEST_F(HttpsCertificateTest, TheOwnRootsAcceptThroughAFetchedTrustList) {
  OpenSslServer& server = StartOwnPkiServer();
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  // The system store does not know the product's roots, and there is no
  // list yet.
  EXPECT_EQ(FetchOnce(host, Cache().c_str()), kUpdServerUnreachable);

  certhttp_test::ScriptedServer& pki = ServeTrustList();
  EXPECT_EQ(FetchOnce(host, Cache().c_str()), kUpdOk);
  const std::string name = Sha1Hex(CtlPki::Get().Path("server.der")) + ".stl";
  const std::vector<certhttp_test::Request> requests = pki.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].raw.starts_with("GET /pki/ctl/" + name + " HTTP/1.1\r\n"))
      << requests[0].raw;
  EXPECT_TRUE(std::filesystem::exists(Cache() + "/ctl/" + name));
  // The cached list serves the next connection; the server is asked nothing.
  EXPECT_EQ(FetchOnce(host, Cache().c_str()), kUpdOk);
  EXPECT_EQ(pki.Requests().size(), 1u);
}

// With the product's root in the system store too, only the name decides.
TEST_F(HttpsCertificateTest, BothChecksRefuseAnotherServersCertificate) {
  const std::string roots = dir_.file("roots.pem");
  WriteFile(roots, ReadFile(pki_.Pem("root")) + ReadFile(BinaryPath("trust/root9.pem")));
  setenv("SSL_CERT_FILE", roots.c_str(), 1);
  OpenSslServer& server = StartOwnPkiServer();
  ServeTrustList();
  const std::string port = std::to_string(server.port());
  // The certificate names server.test, *.wild.test and 127.0.0.1.
  EXPECT_EQ(FetchOnce("localhost:" + port, Cache().c_str()), kUpdServerUnreachable);
  EXPECT_EQ(FetchOnce("127.0.0.1:" + port, Cache().c_str()), kUpdOk);
  EXPECT_EQ(FetchOnce("localhost:" + port, nullptr), kUpdOk) << "with the check off";
}

TEST_F(HttpsCertificateTest, TheCallbackRefusesACallWithoutSomethingToCheck) {
  // A transport gets its server name from its first request.
  CBuffer ignored;
  ASSERT_NE(Fetch("127.0.0.1:" + std::to_string(ClosedPort()), "/", "x", &ignored), kUpdOk);
  ASSERT_EQ(https_.server_name(), "127.0.0.1");
  CSslProtocol ssl;
  CHttpTransport unnamed(ssl, true);
  const std::vector<uint8_t> chain = PackPeerCertificateList({pki_.Der("server")});
  struct Case {
    const char* what;
    const uint8_t* chain;
    size_t length;
    void* transport;
    uint32_t flags;  // after the call, set to 7 before it
  };
  const Case cases[] = {
      {"no chain", nullptr, chain.size(), &https_, 7},
      {"empty chain", chain.data(), 0, &https_, 7},
      {"no transport", chain.data(), chain.size(), nullptr, 7},
      {"no server name", chain.data(), chain.size(), &unnamed, 0x20},
  };
  for (const Case& c : cases) {
    uint32_t flags = 7;
    EXPECT_EQ(CertificateCallback(c.chain, c.length, c.transport, &flags), 21u) << c.what;
    EXPECT_EQ(flags, c.flags) << c.what;
    EXPECT_EQ(CertificateCallback(c.chain, c.length, c.transport, nullptr), 21u) << c.what;
  }
  // Without a folder the own-roots check has nothing to work with.
  EXPECT_EQ(VerifyServerCertificate(&https_, chain.data(), chain.size(), nullptr), 21u);
}

}  // namespace
}  // namespace upd::test
