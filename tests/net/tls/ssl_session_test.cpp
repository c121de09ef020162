// The TLS session layer against `openssl s_server` on loopback, with the
// system's OpenSSL loaded by the layer.

#include "net/tls/ssl_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/tls/ssl_layer.h"
#include "support/openssl_server.h"
#include "tls_client.h"
#include "tls_pki.h"
#include "verify/x509/peer_certificate_list.h"

namespace upd::test {
namespace {

struct VerifyLog {
  uint32_t answer = 0;
  int calls = 0;
  bool flags_given = false;
  std::vector<uint8_t> chain;
};

uint32_t UPD_MSABI RecordChain(const uint8_t* chain, uint64_t length, void* user, uint32_t* flags) {
  auto* log = static_cast<VerifyLog*>(user);
  ++log->calls;
  log->flags_given = flags != nullptr;
  log->chain.assign(chain, chain + length);
  return log->answer;
}

class SslSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pki_.ok());
    ASSERT_EQ(OsSslInitialize(), kOsSslOk);
  }

  OpenSslServerOptions Serve(std::vector<std::string> arguments, std::string chain = "") {
    return {pki_.Pem("server"), pki_.Key("server"), std::move(chain), std::move(arguments)};
  }

  TlsPki pki_;
};

TEST_F(SslSessionTest, ServerNameReachesTheServer) {
  OpenSslServer server(Serve({"-tls1_2", "-rev", "-naccept", "2", "-servername", "sni.test",
                              "-cert2", pki_.Pem("server_sni"), "-key2", pki_.Key("server_sni")}));
  ASSERT_TRUE(server.running());
  // The server answers the name it was given with its second certificate.
  struct Case {
    const char* server_name;
    const char* leaf;
  };
  for (const Case& c : {Case{"sni.test", "server_sni"}, Case{nullptr, "server"}}) {
    SCOPED_TRACE(c.leaf);
    VerifyLog verify;
    TlsClient client(server.port());
    ASSERT_EQ(client.Create(c.server_name, &RecordChain, &verify), kOsSslOk);
    ASSERT_EQ(client.Handshake(), kOsSslOk);
    EXPECT_EQ(verify.chain, PackPeerCertificateList({pki_.Der(c.leaf)}));
  }
  // The server writes its log out when it ends after the two connections.
  EXPECT_TRUE(server.WaitForLog("Hostname in TLS extension: \"sni.test\"")) << server.Log();
}

TEST_F(SslSessionTest, VerifyCallbackGetsThePeerChainLeafFirst) {
  const std::string chain = pki_.dir().file("chain.pem");
  WriteFile(chain, ReadFile(pki_.Pem("inter")) + ReadFile(pki_.Pem("root")));
  OpenSslServer server(Serve({"-tls1_2", "-rev"}, chain));
  ASSERT_TRUE(server.running());
  VerifyLog verify;
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost", &RecordChain, &verify), kOsSslOk);
  ASSERT_EQ(client.Handshake(), kOsSslOk);
  EXPECT_EQ(verify.calls, 1);
  EXPECT_FALSE(verify.flags_given);
  EXPECT_EQ(verify.chain,
            PackPeerCertificateList({pki_.Der("server"), pki_.Der("inter"), pki_.Der("root")}));
  EXPECT_FALSE(OsSslIsHandshaking(client.session()));
}

TEST_F(SslSessionTest, WithoutVerifyCallbackAnyChainIsAccepted) {
  OpenSslServer server({pki_.Pem("self_signed"), pki_.Key("self_signed"), "", {"-tls1_2", "-rev"}});
  ASSERT_TRUE(server.running());
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  EXPECT_TRUE(OsSslIsHandshaking(client.session()));
  EXPECT_EQ(client.Handshake(), kOsSslOk);
  EXPECT_FALSE(OsSslIsHandshaking(client.session()));
}

TEST_F(SslSessionTest, PlaintextTravelsBothWays) {
  OpenSslServer server(Serve({"-tls1_2", "-rev"}));
  ASSERT_TRUE(server.running());
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  ASSERT_EQ(client.Handshake(), kOsSslOk);
  ASSERT_TRUE(client.Write("stressed\n"));
  EXPECT_EQ(client.ReceiveText(9), "desserts\n");
}

TEST_F(SslSessionTest, BodiesLargerThanARecordArriveWhole) {
  // In its default mode the server prints what it receives and sends what
  // it reads on its input.
  OpenSslServer server(Serve({"-tls1_2"}));
  ASSERT_TRUE(server.running());
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  ASSERT_EQ(client.Handshake(), kOsSslOk);
  ASSERT_TRUE(server.WaitForLog("CIPHER is"));
  const std::string upload = std::string(40000, 'u') + "END OF UPLOAD\n";
  ASSERT_TRUE(client.Write(upload));
  EXPECT_TRUE(server.WaitForLog(upload));
  const std::string download = std::string(40000, 'd') + "\n";
  ASSERT_TRUE(server.SendInput(download));
  EXPECT_EQ(client.ReceiveText(download.size()), download);
}

TEST_F(SslSessionTest, PartOfARecordWaitsForTheRest) {
  OpenSslServer server(Serve({"-tls1_2", "-rev"}));
  ASSERT_TRUE(server.running());
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  ASSERT_EQ(client.Handshake(), kOsSslOk);
  struct Cut {
    const char* what;
    size_t (*first)(size_t size);
  };
  const Cut cuts[] = {
      {"one byte", [](size_t) -> size_t { return 1; }},
      {"the header", [](size_t) -> size_t { return kRecordHeaderSize; }},
      {"half", [](size_t size) { return size / 2; }},
      {"all but one byte", [](size_t size) { return size - 1; }},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.what);
    ASSERT_TRUE(client.Write("drawer\n"));
    const std::string record = client.ReceiveRecord();
    ASSERT_GT(record.size(), kRecordHeaderSize + 1);
    const size_t first = cut.first(record.size());
    EXPECT_EQ(client.Feed(record.substr(0, first)), kOsSslNeedMoreInput);
    EXPECT_EQ(OsSslPending(client.session()), 0u);
    EXPECT_EQ(client.Feed(record.substr(first)), kOsSslOk);
    EXPECT_EQ(OsSslPending(client.session()), 7u);
    EXPECT_EQ(client.ReadPending(), "reward\n");
  }
}

TEST_F(SslSessionTest, CloseNotifyEndsTheDataInAnOrderlyWay) {
  OpenSslServer server(Serve({"-tls1_2", "-rev"}));
  ASSERT_TRUE(server.running());
  // The close_notify arrives in a feed of its own, or together with the
  // last data: both end the same way.
  for (const bool together : {false, true}) {
    SCOPED_TRACE(together);
    TlsClient client(server.port());
    ASSERT_EQ(client.Create("localhost"), kOsSslOk);
    ASSERT_EQ(client.Handshake(), kOsSslOk);
    ASSERT_TRUE(client.Write("last\n"));
    const std::string data = client.ReceiveRecord();
    // s_server -rev answers "CLOSE" with close_notify.
    ASSERT_TRUE(client.Write("CLOSE\n"));
    const std::string alert = client.ReceiveRecord();
    ASSERT_FALSE(alert.empty());
    std::string text;
    if (together) {
      EXPECT_EQ(client.Feed(data + alert), kOsSslOk);
      text = client.ReadPending();
    } else {
      EXPECT_EQ(client.Feed(data), kOsSslOk);
      text = client.ReadPending();
      EXPECT_FALSE(OsSslIsClosed(client.session()));
      EXPECT_EQ(client.Feed(alert), kOsSslOk);
    }
    EXPECT_EQ(text, "tsal\n");
    EXPECT_EQ(OsSslPending(client.session()), 0u);
    EXPECT_TRUE(OsSslIsClosed(client.session()));
    char buffer[16];
    uint32_t length = sizeof buffer;
    EXPECT_EQ(OsSslRead(client.session(), buffer, &length), kOsSslOk);
    EXPECT_EQ(length, 0u);
  }
}

TEST_F(SslSessionTest, ServerRenegotiationIsReported) {
  // Without -rev the server takes commands on its input; "r" renegotiates.
  OpenSslServer server(Serve({"-tls1_2"}));
  ASSERT_TRUE(server.running());
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  ASSERT_EQ(client.Handshake(), kOsSslOk);
  ASSERT_TRUE(server.WaitForLog("CIPHER is"));
  ASSERT_TRUE(server.SendInput("r\n"));
  const std::string hello_request = client.ReceiveRecord();
  ASSERT_FALSE(hello_request.empty());
  EXPECT_EQ(client.Feed(hello_request), kOsSslRenegotiating);
  EXPECT_TRUE(OsSslIsHandshaking(client.session()));
  // The caller goes on as with the first handshake.
  while (OsSslIsHandshaking(client.session())) {
    ASSERT_TRUE(client.Flush());
    const std::string bytes = client.ReceiveRaw();
    ASSERT_FALSE(bytes.empty());
    const uint32_t code = client.Feed(bytes);
    ASSERT_TRUE(code == kOsSslOk || code == kOsSslNeedMoreInput) << code;
  }
  ASSERT_TRUE(client.Write("after\n"));
  EXPECT_TRUE(server.WaitForLog("after"));
}

TEST_F(SslSessionTest, CertificateRequestPausesOnlyWhenAsked) {
  // -verify asks for a client certificate but does without one.
  OpenSslServer server(Serve({"-tls1_2", "-rev", "-verify", "1"}));
  ASSERT_TRUE(server.running());
  struct Case {
    uint32_t flags;
    uint32_t result;
  };
  for (const Case& c : {Case{kClientFlags | kOsSslPauseOnCertificateRequest, kOsSslWantCertificate},
                        Case{kClientFlags, kOsSslOk}}) {
    SCOPED_TRACE(c.flags);
    TlsClient client(server.port());
    ASSERT_EQ(client.Create("localhost", nullptr, nullptr, c.flags), kOsSslOk);
    EXPECT_EQ(client.Handshake(), c.result);
  }
}

TEST_F(SslSessionTest, ProtocolFlagsSelectExclusionOptions) {
  struct Case {
    uint32_t flags;
    uint64_t options;
  };
  const Case cases[] = {
      {kClientFlags, openssl::kOptionNoSsl2 | openssl::kOptionNoSsl3 | openssl::kOptionNoTls1_3},
      {kOsSslProtocolMask, 0},
      {kOsSslTls1_2, 0x3F000000 & ~openssl::kOptionNoTls1_2},
      // OpenSSL 3 has no SSL 2.0 method: the generic one, all else excluded.
      {kOsSslSsl2, 0x3E000000},
  };
  const OpenSslFunctionTable& f = *SslFunctions();
  for (const Case& c : cases) {
    uint64_t options = 1;
    EXPECT_EQ(OsSslSelectMethod(c.flags, &options), f.generic_method()) << c.flags;
    EXPECT_EQ(options, c.options) << c.flags;
  }
  // The context gets them, plus no encrypt-then-MAC.
  OS_SSL_SESSION* session = nullptr;
  ASSERT_EQ(OsSslCreate(nullptr, nullptr, nullptr, nullptr, kClientFlags, nullptr, nullptr,
                        &session, nullptr),
            kOsSslOk);
  auto get_options = reinterpret_cast<uint64_t (*)(const SSL_CTX*)>(
      OsLibrarySymbol(SslInitializer().SslLibrary(), "SSL_CTX_get_options"));
  ASSERT_NE(get_options, nullptr);
  const uint64_t set = get_options(session->ctx);
  EXPECT_EQ(set & 0x23080000, 0x23080000u);
  EXPECT_EQ(set & (openssl::kOptionNoTls1 | openssl::kOptionNoTls1_1 | openssl::kOptionNoTls1_2),
            0u);
  OsSslDestroy(session);
}

TEST_F(SslSessionTest, ExistingContextIsSharedOnlyWithTheSameFlags) {
  OS_SSL_SESSION* owner = nullptr;
  ASSERT_EQ(OsSslCreate(nullptr, nullptr, nullptr, nullptr, kClientFlags, nullptr, nullptr, &owner,
                        nullptr),
            kOsSslOk);
  EXPECT_EQ(owner->owns_context, 1);
  const OS_SSL_CONTEXT existing{owner->ctx, kClientFlags};
  OS_SSL_SESSION* session = reinterpret_cast<OS_SSL_SESSION*>(1);
  uint32_t status = 7;
  EXPECT_EQ(OsSslCreate(nullptr, nullptr, &existing, nullptr, kOsSslTls1_2, nullptr, nullptr,
                        &session, &status),
            kOsSslContextMismatch);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(status, 0u);
  ASSERT_EQ(OsSslCreate(nullptr, nullptr, &existing, nullptr, kClientFlags, nullptr, nullptr,
                        &session, nullptr),
            kOsSslOk);
  EXPECT_EQ(session->ctx, owner->ctx);
  EXPECT_EQ(session->owns_context, 0);
  // The borrowing session leaves the context to its owner.
  OsSslDestroy(session);
  ASSERT_EQ(OsSslCreate(nullptr, nullptr, &existing, nullptr, kClientFlags, nullptr, nullptr,
                        &session, nullptr),
            kOsSslOk);
  OsSslDestroy(session);
  OsSslDestroy(owner);
}

TEST_F(SslSessionTest, CreateRefusesWhatItCannotDo) {
  OS_SSL_SESSION* session = nullptr;
  const int certificate = 0;
  struct Case {
    const char* what;
    uint32_t flags;
    const void* client_certificate;
    uint32_t result;
  };
  const Case cases[] = {
      {"unsupported flag", kClientFlags | kOsSslUnsupported, nullptr, kOsSslNotSupported},
      {"client certificate", kClientFlags, &certificate, kOsSslNotSupported},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OsSslCreate(nullptr, nullptr, nullptr, c.client_certificate, c.flags, nullptr,
                          nullptr, &session, nullptr),
              c.result)
        << c.what;
    EXPECT_EQ(session, nullptr) << c.what;
  }
  EXPECT_EQ(OsSslCreate(nullptr, nullptr, nullptr, nullptr, kClientFlags, nullptr, nullptr, nullptr,
                        nullptr),
            kOsSslBadArgument);
  EXPECT_EQ(OsSslNotSupported(604800000), kOsSslNotSupported);
}

TEST_F(SslSessionTest, ArgumentsOutsideTheContractGetNeutralAnswers) {
  char buffer[8];
  uint32_t length = sizeof buffer;
  EXPECT_EQ(OsSslStartHandshake(nullptr), kOsSslBadArgument);
  EXPECT_FALSE(OsSslIsHandshaking(nullptr));
  EXPECT_EQ(OsSslGetOutputPending(nullptr), 0u);
  EXPECT_EQ(OsSslGetOutput(nullptr, buffer, &length), kOsSslBadArgument);
  EXPECT_EQ(OsSslPutInput(nullptr, buffer, 1), kOsSslBadArgument);
  EXPECT_EQ(OsSslPending(nullptr), 0u);
  EXPECT_EQ(OsSslRead(nullptr, buffer, &length), kOsSslBadArgument);
  EXPECT_EQ(OsSslWrite(nullptr, buffer, 1), kOsSslBadArgument);
  EXPECT_FALSE(OsSslIsClosed(nullptr));
  OsSslSetLogCallback(nullptr, nullptr, nullptr);
  OsSslDestroy(nullptr);

  OS_SSL_SESSION* session = nullptr;
  ASSERT_EQ(OsSslCreate(nullptr, nullptr, nullptr, nullptr, kClientFlags, nullptr, nullptr,
                        &session, nullptr),
            kOsSslOk);
  EXPECT_EQ(OsSslGetOutput(session, nullptr, &length), kOsSslBadArgument);
  EXPECT_EQ(OsSslGetOutput(session, buffer, nullptr), kOsSslBadArgument);
  EXPECT_EQ(OsSslPutInput(session, nullptr, 1), kOsSslBadArgument);
  EXPECT_EQ(OsSslRead(session, nullptr, &length), kOsSslBadArgument);
  EXPECT_EQ(OsSslWrite(session, nullptr, 1), kOsSslBadArgument);
  // OpenSSL takes lengths as int: longer ones are refused before any byte is read.
  EXPECT_EQ(OsSslPutInput(session, buffer, 0x80000000u), kOsSslBadArgument);
  EXPECT_EQ(OsSslWrite(session, buffer, 0x80000000u), kOsSslBadArgument);
  OsSslDestroy(session);
}

}  // namespace
}  // namespace upd::test
