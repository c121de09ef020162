// CSslProtocol on its own: what its client hello names, and application
// bytes both ways through `openssl s_server`.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "net/tls/ssl_protocol.h"
#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "support/openssl_server.h"
#include "tls_pki.h"

namespace upd::test {
namespace {

namespace script = upd::test::script;

// The server name extension of a client hello record, nullopt when the
// hello has none (empty when the bytes are no client hello).
std::optional<std::string> ServerNameOf(const std::string& record) {
  const auto* p = reinterpret_cast<const uint8_t*>(record.data());
  const size_t size = record.size();
  size_t at = 5 + 4 + 2 + 32;  // record and handshake headers, version, random
  auto u16 = [&](size_t i) { return i + 2 <= size ? size_t{p[i]} << 8 | p[i + 1] : size; };
  if (size < at + 1 || p[0] != 0x16 || p[5] != 0x01) return "";
  at += 1 + p[at];         // session id
  at += 2 + u16(at);       // cipher suites
  if (at >= size) return "";
  at += 1 + p[at];         // compression methods
  const size_t end = at + 2 + u16(at);
  for (at += 2; at + 4 <= end && end <= size;) {
    const size_t type = u16(at);
    const size_t length = u16(at + 2);
    if (type == 0) {
      // list length, name type, name length, name
      const size_t name_length = u16(at + 4 + 3);
      return record.substr(at + 4 + 5, name_length);
    }
    at += 4 + length;
  }
  return std::nullopt;
}

TEST(SslProtocol, TheHelloNamesTheServerButNeverAnAddress) {
  struct Case {
    const char* server_name;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"updates.example", "updates.example"},
      {"127.0.0.1", std::nullopt},
      {"[::1]", std::nullopt},
      {"::1", std::nullopt},
      {"", std::nullopt},
      {nullptr, std::nullopt},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server_name != nullptr ? c.server_name : "(null)");
    ScriptedPeer peer(dir.path().string(), {{script::Read(5), script::Sleep(0.2), script::Close()}});
    ASSERT_TRUE(peer.running());
    CSslProtocol ssl;
    ASSERT_EQ(ssl.Connect("127.0.0.1", static_cast<uint32_t>(peer.port()), c.server_name),
              kUpdOk);
    EXPECT_FALSE(ssl.Pump(10));
    ssl.Close();
    peer.Stop();
    EXPECT_EQ(ServerNameOf(peer.Received(0)), c.expected);
  }
}

TEST(SslProtocol, BytesFlowBothWaysAndLargeSendsArriveWhole) {
  TlsPki pki;
  ASSERT_TRUE(pki.ok());
  OpenSslServerOptions options;
  options.certificate = pki.Pem("server");
  options.key = pki.Key("server");
  OpenSslServer server(options);
  ASSERT_TRUE(server.running());
  CSslProtocol ssl;
  ASSERT_EQ(ssl.Connect("127.0.0.1", static_cast<uint32_t>(server.port()), "localhost"), kUpdOk);
  // Larger than a record and than a write slice; s_server prints it.
  std::string sent;
  for (int i = 0; sent.size() < 300000; ++i) sent += "line " + std::to_string(i) + "\n";
  sent += "END OF TEXT\n";
  ASSERT_EQ(ssl.Send(sent.data(), static_cast<int64_t>(sent.size()), 10),
            static_cast<int64_t>(sent.size()));
  ASSERT_TRUE(server.WaitForLog("END OF TEXT"));
  EXPECT_NE(server.Log().find(sent), std::string::npos);

  ASSERT_TRUE(server.SendInput("from the server\n"));
  std::string received;
  char buffer[64];
  while (received.find('\n') == std::string::npos) {
    const int64_t n = ssl.Recv(buffer, sizeof buffer, 10);
    ASSERT_GT(n, 0);
    received.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(received, "from the server\n");
}

// A new handshake the server starts in the middle of the data is driven by
// the receive that meets it; the data goes on afterwards, also when it
// overtakes the new handshake.
TEST(SslProtocol, AServerRenegotiationIsDrivenAndTheDataGoesOn) {
  TlsPki pki;
  ASSERT_TRUE(pki.ok());
  OpenSslServerOptions options;
  options.certificate = pki.Pem("server");
  options.key = pki.Key("server");
  // -state logs the server's handshake steps.
  options.arguments = {"-tls1_2", "-state"};
  OpenSslServer server(options);
  ASSERT_TRUE(server.running());
  CSslProtocol ssl;
  ASSERT_EQ(ssl.Connect("127.0.0.1", static_cast<uint32_t>(server.port()), "localhost"), kUpdOk);
  ASSERT_TRUE(ssl.Pump(10));
  ASSERT_TRUE(server.WaitForLog("CIPHER is"));
  // The server's Finished messages so far.
  size_t finished = server.LogCount("write finished");
  auto receive_line = [&ssl] {
    std::string received;
    char buffer[64];
    while (received.find('\n') == std::string::npos) {
      const int64_t n = ssl.Recv(buffer, sizeof buffer, 10);
      if (n <= 0) return received + "(receive answered " + std::to_string(n) + ")";
      received.append(buffer, static_cast<size_t>(n));
    }
    return received;
  };

  // "r" makes s_server ask for a new handshake. The receive that meets the
  // request completes it, then waits for data that does not come.
  ASSERT_TRUE(server.SendInput("r\n"));
  ASSERT_TRUE(server.WaitForLog("write hello request"));
  char buffer[64];
  EXPECT_EQ(ssl.Recv(buffer, sizeof buffer, 1), -1);
  EXPECT_TRUE(server.WaitForLog("write finished", finished + 1)) << server.Log();
  finished = server.LogCount("write finished");
  ASSERT_TRUE(server.SendInput("after the new handshake\n"));
  EXPECT_EQ(receive_line(), "after the new handshake\n");

  // Data right behind the request.
  // s_server takes a read of its input that starts with "r\n" as the request
  // alone and drops the rest: the data goes in once the request was taken.
  ASSERT_TRUE(server.SendInput("r\n"));
  ASSERT_TRUE(server.WaitForLog("write hello request", 2)) << server.Log();
  ASSERT_TRUE(server.SendInput("right behind\n"));
  EXPECT_EQ(receive_line(), "right behind\n") << server.Log();
  const std::string reply = "still here\n";
  ASSERT_EQ(ssl.Send(reply.data(), static_cast<int64_t>(reply.size()), 10),
            static_cast<int64_t>(reply.size()));
  EXPECT_TRUE(server.WaitForLog("still here"));
  EXPECT_TRUE(server.WaitForLog("write finished", finished + 1)) << server.Log();
}

TEST(SslProtocol, NothingMovesWithoutAConnection) {
  CSslProtocol ssl;
  char byte = 0;
  EXPECT_FALSE(ssl.Pump(1));
  EXPECT_EQ(ssl.Send("x", 1, 1), -1);
  EXPECT_EQ(ssl.Recv(&byte, 1, 1), -1);
}

}  // namespace
}  // namespace upd::test
