// OsSslCheckCertificateChain with OpenSSL's default trust paths pointed at
// the tests' root (SSL_CERT_FILE) and an empty folder (SSL_CERT_DIR);
// `openssl verify` as the oracle of the TLS-server policy.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/tls/ssl_session.h"
#include "support/temp_dir.h"
#include "tls_pki.h"
#include "verify/x509/peer_certificate_list.h"

namespace upd::test {
namespace {

using Certificates = std::vector<std::vector<uint8_t>>;

class SslChainCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pki_.ok());
    setenv("SSL_CERT_FILE", pki_.Pem("root").c_str(), 1);
    setenv("SSL_CERT_DIR", pki_.dir().path().c_str(), 1);
    ASSERT_EQ(OsSslInitialize(), kOsSslOk);
  }

  std::vector<uint8_t> List(const std::vector<std::string>& names) {
    Certificates certificates;
    for (const std::string& name : names) certificates.push_back(pki_.Der(name));
    return PackPeerCertificateList(certificates);
  }

  TlsPki pki_;
};

struct Expected {
  int32_t result;
  uint32_t flags;
};

TEST_F(SslChainCheckTest, ChainsAreJudgedByTheSystemTrustPaths) {
  struct Case {
    const char* what;
    std::vector<std::string> chain;
    const char* host;
    Expected expected;
  };
  const Case cases[] = {
      {"valid", {"server", "inter"}, "localhost", {0, 0}},
      {"valid with its root", {"server", "inter", "root"}, "localhost", {0, 0}},
      {"certificate under the root on its own, no host", {"direct"}, nullptr, {0, 0}},
      {"certificate under the root on its own, empty host", {"direct"}, "", {0, 0}},
      {"expired", {"expired", "inter"}, "localhost", {8, 0x1}},
      {"self-signed", {"self_signed"}, "localhost", {42, 0x400}},
      {"unknown issuer", {"stranger"}, "localhost", {6, 0x20}},
      {"unknown root sent along", {"stranger", "stranger_root"}, "localhost", {42, 0x400}},
      {"intermediate missing", {"server"}, "localhost", {6, 0x20}},
      {"issuer that is no CA", {"not_ca", "server", "inter"}, "localhost", {6, 0x20}},
      // Only the path that verifies the server's certificate counts.
      {"expired cross-sign after the path", {"server", "inter", "cross_expired"}, "localhost",
       {0, 0}},
      {"expired cross-sign before the path", {"server", "cross_expired", "inter"}, "localhost",
       {0, 0}},
      {"unrelated expired certificate sent along", {"server", "inter", "expired"}, "localhost",
       {0, 0}},
      // The server's certificate must name the host.
      {"name in another case", {"server", "inter"}, "LocalHost", {0, 0}},
      {"another server's certificate", {"server_sni", "inter"}, "localhost", {53, 0x400}},
      {"name that is a suffix", {"server", "inter"}, "host", {53, 0x400}},
      {"address entry", {"server", "inter"}, "127.0.0.1", {0, 0}},
      {"address not listed", {"server", "inter"}, "127.0.0.2", {53, 0x400}},
      {"IPv6 literal not listed", {"server", "inter"}, "[::1]", {53, 0x400}},
      // The common name is never taken for a name entry.
      {"name only in the common name", {"cn_only", "inter"}, "cn.test", {53, 0x400}},
      // A name failure comes after the chain's own.
      {"expired and another name", {"expired", "inter"}, "sni.test", {8, 0x1}},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> list = List(c.chain);
    uint32_t flags = 0xFFFF;
    EXPECT_EQ(OsSslCheckCertificateChain(list.data(), list.size(), c.host, &flags),
              c.expected.result)
        << c.what;
    EXPECT_EQ(flags, c.expected.flags) << c.what;
  }
}

// The trust paths are read once per process: later changes to them do not
// reach the checks (the library's host sets them up before it starts).
TEST_F(SslChainCheckTest, TheSystemStoreIsReadOnce) {
  const std::vector<uint8_t> good = List({"server", "inter"});
  const std::vector<uint8_t> stranger = List({"stranger"});
  ASSERT_EQ(OsSslCheckCertificateChain(good.data(), good.size(), "localhost", nullptr), 0);
  setenv("SSL_CERT_FILE", pki_.Pem("stranger_root").c_str(), 1);
  EXPECT_EQ(OsSslCheckCertificateChain(good.data(), good.size(), "localhost", nullptr), 0);
  EXPECT_EQ(OsSslCheckCertificateChain(stranger.data(), stranger.size(), "localhost", nullptr), 6);
}

TEST_F(SslChainCheckTest, ChangedSignatureIsASignatureFailure) {
  std::vector<uint8_t> leaf = pki_.Der("server");
  leaf[leaf.size() - 2] ^= 0x01;  // inside the signature value
  const std::vector<uint8_t> list = PackPeerCertificateList({leaf, pki_.Der("inter")});
  uint32_t flags = 0;
  EXPECT_EQ(OsSslCheckCertificateChain(list.data(), list.size(), nullptr, &flags), 16);
  EXPECT_EQ(flags, 0x400u);
}

TEST_F(SslChainCheckTest, UnreadableItemsEndTheCheck) {
  const std::vector<uint8_t> direct = List({"direct"});
  const std::vector<uint8_t> garbage = PackPeerCertificateList({{0x30, 0x03, 0x02, 0x01, 0x00}});
  std::vector<uint8_t> direct_then_garbage = direct;
  direct_then_garbage.insert(direct_then_garbage.end(), garbage.begin(), garbage.end());
  std::vector<uint8_t> direct_then_cut = direct;
  direct_then_cut.insert(direct_then_cut.end(), {0x10, 0x00, 0x00, 0x00, 0x30});
  std::vector<uint8_t> cut = direct;
  cut.resize(cut.size() - 1);
  struct Case {
    const char* what;
    std::vector<uint8_t> list;
    Expected expected;
  };
  const Case cases[] = {
      // What verified before an unreadable item stands.
      {"certificate, then garbage", direct_then_garbage, {0, 0}},
      {"certificate, then an item longer than the list", direct_then_cut, {0, 0}},
      // Nothing to check at all.
      {"garbage first", garbage, {-1, 0x20}},
      {"first item longer than the list", cut, {-1, 0x20}},
      {"empty", {}, {-1, 0x20}},
  };
  for (const Case& c : cases) {
    uint32_t flags = 0xFFFF;
    EXPECT_EQ(OsSslCheckCertificateChain(c.list.data(), c.list.size(), nullptr, &flags),
              c.expected.result)
        << c.what;
    EXPECT_EQ(flags, c.expected.flags) << c.what;
  }
}

TEST_F(SslChainCheckTest, FlagsAreOptional) {
  const std::vector<uint8_t> valid = List({"server", "inter"});
  const std::vector<uint8_t> expired = List({"expired", "inter"});
  EXPECT_EQ(OsSslCheckCertificateChain(valid.data(), valid.size(), nullptr, nullptr), 0);
  EXPECT_EQ(OsSslCheckCertificateChain(expired.data(), expired.size(), nullptr, nullptr), 8);
}

// The same check with the certificates of the TLS-server policy; the SHA-1
// root is trusted too.
class SslServerPolicyTest : public SslChainCheckTest {
 protected:
  void SetUp() override {
    SslChainCheckTest::SetUp();
    ASSERT_TRUE(pki_.AddPolicyShapes());
    trust_ = pki_.dir().file("trust.pem");
    WriteFile(trust_, ReadFile(pki_.Pem("root")) + ReadFile(pki_.Pem("sha1_root")));
    setenv("SSL_CERT_FILE", trust_.c_str(), 1);
  }

  // OpenSSL's own verdict with what its TLS clients ask of a server's chain:
  // the first certificate, the others as untrusted helpers.
  bool OpenSslVerifies(const std::vector<std::string>& chain, const char* host) {
    std::string command =
        "openssl verify -purpose sslserver -auth_level 2 -CAfile '" + trust_ + "'";
    if (host != nullptr) command += " -verify_hostname " + std::string(host);
    if (chain.size() > 1) {
      std::string helpers;
      for (size_t i = 1; i < chain.size(); ++i) helpers += ReadFile(pki_.Pem(chain[i]));
      WriteFile(pki_.dir().file("helpers.pem"), helpers);
      command += " -untrusted '" + pki_.dir().file("helpers.pem") + "'";
    }
    std::string out;
    return RunCommand(command + " '" + pki_.Pem(chain[0]) + "' 2>&1", &out) == 0;
  }

  std::string trust_;
};

TEST_F(SslServerPolicyTest, ChainsMeetWhatTlsClientsAskOfAServer) {
  struct Case {
    const char* what;
    std::vector<std::string> chain;
    const char* host;
    Expected expected;
  };
  const Case cases[] = {
      {"EC key, server authentication, SHA-256", {"server", "inter"}, "localhost", {0, 0}},
      {"RSA-2048 key", {"rsa2048", "inter"}, "localhost", {0, 0}},
      {"no extended key usage", {"no_eku", "inter"}, "localhost", {0, 0}},
      // A trust anchor's signature on itself proves nothing and is not judged.
      {"under a root signed by itself with SHA-1", {"under_sha1_root"}, "localhost", {0, 0}},
      {"that root sent along", {"under_sha1_root", "sha1_root"}, "localhost", {0, 0}},
      // Refused as every failure without a result of its own.
      {"client authentication only", {"client_only", "inter"}, "localhost", {24, 0x400}},
      {"RSA-1024 key", {"rsa1024", "inter"}, "localhost", {24, 0x400}},
      {"signed with SHA-1", {"sha1_leaf", "inter"}, "localhost", {24, 0x400}},
      {"under an intermediate signed with SHA-1",
       {"under_sha1_inter", "sha1_inter"},
       "localhost",
       {24, 0x400}},
      // Its key usage is for certificates, not for TLS.
      {"a CA's certificate as the server's", {"inter"}, nullptr, {24, 0x400}},
      {"client authentication only, another name",
       {"client_only", "inter"},
       "sni.test",
       {24, 0x400}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> list = List(c.chain);
    uint32_t flags = 0xFFFF;
    const int32_t result = OsSslCheckCertificateChain(list.data(), list.size(), c.host, &flags);
    EXPECT_EQ(result, c.expected.result);
    EXPECT_EQ(flags, c.expected.flags);
    EXPECT_EQ(OpenSslVerifies(c.chain, c.host), c.expected.result == 0) << "the oracle";
  }
}

}  // namespace
}  // namespace upd::test
