// Handshakes and records the TLS session layer must refuse: a refused
// certificate, a server of another protocol version, a peer that does not
// speak TLS, a record changed on the way.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "net/tls/ssl_session.h"
#include "support/openssl_server.h"
#include "tls_client.h"
#include "tls_pki.h"

namespace upd::test {
namespace {

uint32_t UPD_MSABI Refuse(const uint8_t*, uint64_t, void* calls, uint32_t*) {
  ++*static_cast<int*>(calls);
  return 1;
}

bool Logged(const std::vector<std::string>& log, const std::string& start,
            const std::string& part) {
  for (const std::string& line : log) {
    if (line.rfind(start, 0) == 0 && line.find(part) != std::string::npos) return true;
  }
  return false;
}

// A loopback peer that answers the first bytes it gets with a fixed reply
// and closes.
class PlainPeer {
 public:
  explicit PlainPeer(std::string reply) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ADD_FAILURE() << "cannot listen";
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, reply = std::move(reply)] {
      const int peer = accept(listener_, nullptr, nullptr);
      if (peer < 0) return;
      char buffer[4096];
      if (recv(peer, buffer, sizeof buffer, 0) > 0) send(peer, reply.data(), reply.size(), 0);
      close(peer);
    });
  }
  ~PlainPeer() {
    shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = -1;
  std::thread thread_;
};

class SslSessionFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pki_.ok());
    ASSERT_EQ(OsSslInitialize(), kOsSslOk);
  }

  OpenSslServerOptions Serve(std::vector<std::string> arguments) {
    return {pki_.Pem("server"), pki_.Key("server"), "", std::move(arguments)};
  }

  TlsPki pki_;
};

TEST_F(SslSessionFailureTest, RefusedCertificateFailsTheHandshake) {
  OpenSslServer server(Serve({"-tls1_2", "-rev"}));
  ASSERT_TRUE(server.running());
  int calls = 0;
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost", &Refuse, &calls), kOsSslOk);
  EXPECT_EQ(client.Handshake(), kOsSslError);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(OsSslIsHandshaking(client.session()));
  // OpenSSL's error queue and the alert sent went to the log callback.
  EXPECT_TRUE(Logged(client.log(), "SSL: ", "certificate verify failed (ERR)"))
      << ::testing::PrintToString(client.log());
  EXPECT_TRUE(Logged(client.log(), "SSL: fatal:", "(write)"))
      << ::testing::PrintToString(client.log());
}

TEST_F(SslSessionFailureTest, Tls13OnlyServerIsRefusedUnderTheProductFlags) {
  OpenSslServer server(Serve({"-tls1_3", "-rev"}));
  ASSERT_TRUE(server.running());
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  EXPECT_EQ(client.Handshake(), kOsSslError);
  EXPECT_TRUE(Logged(client.log(), "SSL: fatal:", "(read)"))
      << ::testing::PrintToString(client.log());
}

TEST_F(SslSessionFailureTest, PeerThatDoesNotSpeakTlsIsAnError) {
  PlainPeer peer("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
  TlsClient client(peer.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  EXPECT_EQ(client.Handshake(), kOsSslError);
  EXPECT_TRUE(Logged(client.log(), "SSL: ", "(ERR)")) << ::testing::PrintToString(client.log());
}

TEST_F(SslSessionFailureTest, ChangedRecordIsRefused) {
  OpenSslServer server(Serve({"-tls1_2", "-rev"}));
  ASSERT_TRUE(server.running());
  TlsClient client(server.port());
  ASSERT_EQ(client.Create("localhost"), kOsSslOk);
  ASSERT_EQ(client.Handshake(), kOsSslOk);
  ASSERT_TRUE(client.Write("tampered\n"));
  std::string record = client.ReceiveRecord();
  ASSERT_GT(record.size(), kRecordHeaderSize + 16);
  record[record.size() - 3] ^= 0x01;
  EXPECT_EQ(client.Feed(record), kOsSslError);
  EXPECT_EQ(OsSslPending(client.session()), 0u);
  EXPECT_TRUE(Logged(client.log(), "SSL: ", "(ERR)")) << ::testing::PrintToString(client.log());
}

}  // namespace
}  // namespace upd::test
