#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "net/tls/tcp_protocol.h"
#include "platform/util/update_errors.h"
#include "support/loopback_listener.h"
#include "support/net_servers.h"
#include "support/peer_process.h"
#include "support/temp_dir.h"

// Servers that refuse, appear late, vanish or reset; names that never
// resolve; aborts from another thread.
namespace {

using upd::test::LoopbackListener;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
namespace script = upd::test::script;
using Clock = std::chrono::steady_clock;

constexpr const char* kUnresolvable = "no-such-host.invalid";
// Pauses of a refused address: 1 + 3 attempts, 1 s apart.
constexpr long kRefusedPausesMs =
    CTcpProtocol::kConnectRetries * static_cast<long>(CTcpProtocol::kRetryPauseMs);
// Pauses of a name that never resolves: 1 + 5 tries, 1 s apart.
constexpr long kResolvePausesMs =
    CTcpProtocol::kResolveRetries * static_cast<long>(CTcpProtocol::kRetryPauseMs);
// How soon a call ends once the abort byte is set: one pause slice and one
// refused attempt, with room for a loaded machine.
constexpr long kAbortReactionMs = 500;

long ElapsedMs(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

struct Timed {
  UPD_ERROR result = 0;
  long ms = 0;
};

Timed TimedConnect(CTcpProtocol& tcp, const char* host, int port) {
  const auto start = Clock::now();
  const UPD_ERROR result = tcp.Connect(host, static_cast<uint32_t>(port), nullptr);
  return {result, ElapsedMs(start)};
}

TEST(TcpProtocolFailure, ARefusingPortCostsFourAttemptsThen0x2101) {
  const int port = upd::test::FreeLoopbackPort();
  CTcpProtocol tcp;
  const Timed t = TimedConnect(tcp, "127.0.0.1", port);
  EXPECT_EQ(t.result, kUpdServerUnreachable);
  EXPECT_GE(t.ms, kRefusedPausesMs - 50);
  EXPECT_FALSE(tcp.IsConnected());
  EXPECT_EQ(tcp.KeptAddresses(), nullptr);
}

TEST(TcpProtocolFailure, AListenerThatAppearsDuringTheRetriesIsReached) {
  const int port = upd::test::FreeLoopbackPort();
  std::unique_ptr<LoopbackListener> listener;
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    listener = std::make_unique<LoopbackListener>("127.0.0.1", port);
  });
  CTcpProtocol tcp;
  const Timed t = TimedConnect(tcp, "127.0.0.1", port);
  late.join();
  ASSERT_TRUE(listener->listening());
  // Each retry runs on a fresh socket, so a later attempt can still succeed.
  EXPECT_EQ(t.result, kUpdOk);
  EXPECT_GE(t.ms, 1500);
  EXPECT_TRUE(tcp.IsConnected());
  EXPECT_GE(listener->Accept(), 0);
}

TEST(TcpProtocolFailure, ANameThatNeverResolvesGives0x3103AfterSixTries) {
  CTcpProtocol tcp;
  const Timed t = TimedConnect(tcp, kUnresolvable, 80);
  EXPECT_EQ(t.result, kUpdCannotConnect);
  EXPECT_GE(t.ms, kResolvePausesMs - 50);
  EXPECT_FALSE(tcp.IsConnected());
}

TEST(TcpProtocolFailure, TheAbortByteSetBeforehandSkipsEveryPause) {
  const int port = upd::test::FreeLoopbackPort();
  CTcpProtocol tcp;
  tcp.SetAbort(true);
  const Timed refused = TimedConnect(tcp, "127.0.0.1", port);
  EXPECT_EQ(refused.result, kUpdServerUnreachable);
  EXPECT_LT(refused.ms, 300);
  const Timed unresolved = TimedConnect(tcp, kUnresolvable, port);
  EXPECT_EQ(unresolved.result, kUpdCannotConnect);
  EXPECT_LT(unresolved.ms, 300);

  // Cleared, the retries come back.
  tcp.SetAbort(false);
  EXPECT_FALSE(tcp.IsAborted());
  EXPECT_GE(TimedConnect(tcp, "127.0.0.1", port).ms, kRefusedPausesMs - 50);
}

struct AbortCase {
  const char* name;
  const char* host;
  UPD_ERROR expected;
};

TEST(TcpProtocolFailure, AnAbortFromAnotherThreadEndsThePauses) {
  const AbortCase kCases[] = {
      {"refused", "127.0.0.1", kUpdServerUnreachable},
      {"unresolved", kUnresolvable, kUpdCannotConnect},
  };
  const int port = upd::test::FreeLoopbackPort();
  for (const AbortCase& c : kCases) {
    SCOPED_TRACE(c.name);
    CTcpProtocol tcp;
    Clock::time_point aborted;
    std::thread aborter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1100));
      aborted = Clock::now();
      tcp.SetAbort(true);
    });
    const UPD_ERROR result = tcp.Connect(c.host, static_cast<uint32_t>(port), nullptr);
    const long after_abort = ElapsedMs(aborted);
    aborter.join();
    EXPECT_EQ(result, c.expected);
    EXPECT_LT(after_abort, kAbortReactionMs);
  }
}

TEST(TcpProtocolFailure, AFailedConnectKeepsTheKeptAddressesForTheNextTry) {
  const int port = upd::test::FreeLoopbackPort();
  CTcpProtocol tcp;
  {
    LoopbackListener first("127.0.0.1", port);
    ASSERT_TRUE(first.listening());
    ASSERT_EQ(tcp.Connect("localhost", static_cast<uint32_t>(port), nullptr), kUpdOk);
    ASSERT_GE(first.Accept(), 0);
  }
  tcp.SetAbort(true);
  EXPECT_EQ(tcp.Connect("localhost", static_cast<uint32_t>(port), nullptr),
            kUpdServerUnreachable);
  EXPECT_EQ(tcp.Close(), 0);
  ASSERT_NE(tcp.KeptAddresses(), nullptr);

  // Back again: the kept address is used without resolving the name.
  LoopbackListener second("127.0.0.1", port);
  ASSERT_TRUE(second.listening());
  EXPECT_EQ(tcp.Connect(kUnresolvable, static_cast<uint32_t>(port), nullptr), kUpdOk);
  EXPECT_GE(second.Accept(), 0);
}

TEST(TcpProtocolFailure, AResetIsAnErrorThatOnlyASendTurnsIntoNotConnected) {
  upd::test::TempDir dir;
  ScriptedPeer peer(dir.path().string(), {{script::Read(1), script::Reset()}});
  ASSERT_TRUE(peer.running());
  CTcpProtocol tcp;
  ASSERT_EQ(tcp.Connect("127.0.0.1", peer.port(), nullptr), kUpdOk);
  ASSERT_EQ(tcp.Send("x", 1, 5), 1);

  char byte = 0;
  EXPECT_EQ(tcp.Recv(&byte, 1, 5), -1);
  EXPECT_TRUE(tcp.IsConnected());
  EXPECT_EQ(tcp.Send("y", 1, 5), -1);
  EXPECT_FALSE(tcp.IsConnected());
}

}  // namespace
