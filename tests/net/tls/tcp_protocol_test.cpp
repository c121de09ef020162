#include "net/tls/tcp_protocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/util/update_errors.h"
#include "support/loopback_listener.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"

namespace {

using upd::test::LoopbackListener;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::TempDir;
namespace script = upd::test::script;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kTimeoutSeconds = 5;

long ElapsedMs(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string Receive(CTcpProtocol& tcp, size_t size) {
  std::string text(size, '\0');
  const int64_t n = tcp.Recv(text.data(), text.size(), kTimeoutSeconds);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

class TcpProtocolTest : public ::testing::Test {
 protected:
  // A peer on 127.0.0.1 and [::1] whose every connection plays `steps`.
  void StartPeer(ScriptedConnection steps) {
    peer_ = std::make_unique<ScriptedPeer>(
        dir_.path().string(), std::vector<ScriptedConnection>{},
        ScriptedPeer::Options().Ipv6().Otherwise(std::move(steps)));
    ASSERT_TRUE(peer_->running());
  }

  TempDir dir_;
  std::unique_ptr<ScriptedPeer> peer_;
};

struct HostCase {
  const char* host;
  int family;  // of the kept address; 0 when the system's resolver decides
};

TEST_F(TcpProtocolTest, ConnectsByAddressNameAndBracketsWithThePortArgument) {
  StartPeer({script::Read(4), script::Send("pong"), script::Close()});
  // A port suffix in the host text never wins over the port argument.
  const HostCase kCases[] = {
      {"127.0.0.1", kOsAddrIPv4}, {"localhost", 0}, {"127.0.0.1:9", kOsAddrIPv4},
      {"[::1]:9", kOsAddrIPv6},   {"[::1]", kOsAddrIPv6},     {"::1", kOsAddrIPv6},
  };
  int connection = 0;
  for (const HostCase& c : kCases) {
    SCOPED_TRACE(c.host);
    CTcpProtocol tcp;
    ASSERT_EQ(tcp.Connect(c.host, peer_->port(), nullptr), kUpdOk);
    EXPECT_TRUE(tcp.IsConnected());
    ASSERT_NE(tcp.KeptAddresses(), nullptr);
    if (c.family != 0) {
      EXPECT_EQ(OsAddrGetFamily(tcp.KeptAddresses()), c.family);
    }

    EXPECT_EQ(tcp.Send("ping", 4, kTimeoutSeconds), 4);
    EXPECT_EQ(Receive(tcp, 16), "pong");
    // The peer's orderly close: Recv 0 and no longer connected.
    char byte = 0;
    EXPECT_EQ(tcp.Recv(&byte, 1, kTimeoutSeconds), 0);
    EXPECT_FALSE(tcp.IsConnected());
    EXPECT_EQ(tcp.Close(), 0);
    EXPECT_EQ(peer_->Received(connection++), "ping");
  }
}

TEST_F(TcpProtocolTest, SilentPeerTimesOutAndTheConnectionStays) {
  StartPeer({script::Stall()});
  CTcpProtocol tcp;
  ASSERT_EQ(tcp.Connect("127.0.0.1", peer_->port(), nullptr), kUpdOk);

  char buffer[16];
  const auto start = Clock::now();
  EXPECT_EQ(tcp.Recv(buffer, sizeof buffer, 1), -1);
  EXPECT_GE(ElapsedMs(start), 900);
  EXPECT_TRUE(tcp.IsConnected());
  EXPECT_EQ(tcp.Send("more", 4, kTimeoutSeconds), 4);
  EXPECT_TRUE(tcp.Pump(kTimeoutSeconds));
  EXPECT_EQ(tcp.Close(), 0);
}

TEST(TcpProtocol, ShutdownEndsBothDirectionsAndCloseIsRepeatable) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.listening());
  CTcpProtocol tcp;
  ASSERT_EQ(tcp.Connect("127.0.0.1", listener.port(), nullptr), kUpdOk);
  const int peer = listener.Accept();
  ASSERT_GE(peer, 0);

  EXPECT_EQ(tcp.Shutdown(), 0);
  EXPECT_FALSE(tcp.IsConnected());
  EXPECT_TRUE(upd::test::WaitForPeerClose(peer, 5000));
  EXPECT_EQ(tcp.Shutdown(), 0);  // not connected: nothing to do

  EXPECT_EQ(tcp.Close(), 0);
  EXPECT_EQ(tcp.Close(), 0);
  EXPECT_FALSE(tcp.IsConnected());
  EXPECT_FALSE(tcp.Pump(kTimeoutSeconds));
}

TEST(TcpProtocol, NothingIsMarkedConnectedWithoutASocket) {
  CTcpProtocol tcp;
  char byte = 0;
  EXPECT_EQ(tcp.Recv(&byte, 1, 1), -1);
  EXPECT_FALSE(tcp.IsConnected());
  EXPECT_EQ(tcp.Send("x", 1, 1), -1);
  EXPECT_FALSE(tcp.IsConnected());
  EXPECT_EQ(tcp.Shutdown(), 0);
  EXPECT_EQ(tcp.KeptAddresses(), nullptr);
}

TEST(TcpProtocol, DestroyingAConnectedProtocolClosesItsSocket) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.listening());
  int peer = -1;
  {
    CTcpProtocol tcp;
    ASSERT_EQ(tcp.Connect("127.0.0.1", listener.port(), nullptr), kUpdOk);
    peer = listener.Accept();
    ASSERT_GE(peer, 0);
  }
  EXPECT_TRUE(upd::test::WaitForPeerClose(peer, 5000));
}

TEST(TcpProtocol, AConnectReusesTheKeptAddressesWithoutResolving) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.listening());
  CTcpProtocol tcp;
  ASSERT_EQ(tcp.Connect("localhost", listener.port(), nullptr), kUpdOk);
  ASSERT_GE(listener.Accept(), 0);

  // A name that cannot resolve still reaches the kept address.
  ASSERT_EQ(tcp.Connect("never-resolved.invalid", listener.port(), nullptr), kUpdOk);
  ASSERT_GE(listener.Accept(), 0);

  // Once the addresses are dropped the name is resolved again (and fails at
  // once with the abort byte set).
  tcp.DropKeptAddresses();
  tcp.SetAbort(true);
  EXPECT_EQ(tcp.Connect("never-resolved.invalid", listener.port(), nullptr), kUpdCannotConnect);
  EXPECT_FALSE(tcp.IsConnected());
}

TEST(TcpProtocol, ANewConnectClosesTheOldSocket) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.listening());
  CTcpProtocol tcp;
  ASSERT_EQ(tcp.Connect("127.0.0.1", listener.port(), nullptr), kUpdOk);
  const int first = listener.Accept();
  ASSERT_GE(first, 0);
  ASSERT_EQ(tcp.Connect("127.0.0.1", listener.port(), nullptr), kUpdOk);
  EXPECT_TRUE(upd::test::WaitForPeerClose(first, 5000));
  EXPECT_TRUE(tcp.IsConnected());
}

}  // namespace
