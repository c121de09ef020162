#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "net/http/http_transport.h"
#include "net/tls/transfer_pace.h"
#include "platform/os/os_abort.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "scripted_http_fixture.h"
#include "support/net_servers.h"
#include "support/test_bytes.h"

// Plain HTTP against peers that trickle: one byte every 5 s in the head or
// the body, directly or through tinyproxy, is cut about a minute after the
// request (0x2105, not sent again); a slow but real link (1.2 KiB/s for 70 s)
// completes; an abort during a trickle still ends the download at once.
//
// The Slow* suites wait out the minute: tests/CMakeLists.txt starts them
// first, beside the others, with a timeout of their own.
namespace upd::test {
namespace {

namespace script = upd::test::script;
using Clock = std::chrono::steady_clock;

constexpr double kTrickleSeconds = 5.0;
// The rule's minute, with room for a loaded machine; far below the hours a
// trickle held a download before.
constexpr auto kCutNoSooner = std::chrono::seconds(55);
constexpr auto kCutNoLater = std::chrono::seconds(90);

const std::string kHead = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
const std::string kBody(1000, 'b');

struct TrickleCase {
  const char* name;
  bool in_head;
  bool via_proxy;
};
// Names the case in test names and messages (instead of its bytes).
void PrintTo(const TrickleCase& c, std::ostream* out) { *out << c.name; }

class TrickleTest : public ScriptedHttpTest {
 protected:
  HttpRequestParams Params(const std::string& host) {
    host_text_ = host;
    HttpRequestParams params;
    params.host = host_text_;
    params.path = "/";
    params.file = "f.bin";
    params.skip_head = true;
    return params;
  }

  // The same script for every connection, so that a request sent again would
  // show as a second connection.
  ScriptedPeer& StartTrickle(bool in_head) {
    ScriptedConnection connection =
        in_head ? ScriptedConnection{script::ReadRequest(),
                                     script::Trickle(kHead + kBody, kTrickleSeconds)}
                : ScriptedConnection{script::ReadRequest(), script::Send(kHead),
                                     script::Trickle(kBody, kTrickleSeconds)};
    return StartPeer({}, ScriptedPeer::Options().Otherwise(std::move(connection)));
  }

  void UseProxy(uint16_t port) {
    config_.proxy.enabled = true;
    config_.proxy.host = "127.0.0.1";
    config_.proxy.port = port;
  }
};

class SlowHttpTrickleTest : public TrickleTest,
                            public ::testing::WithParamInterface<TrickleCase> {};

TEST_P(SlowHttpTrickleTest, IsCutAboutAMinuteAfterTheRequestWith0x2105) {
  const TrickleCase& c = GetParam();
  ScriptedPeer& peer = StartTrickle(c.in_head);
  ASSERT_TRUE(peer.running());
  std::unique_ptr<TinyProxy> proxy;
  if (c.via_proxy) {
    proxy = std::make_unique<TinyProxy>(dir_.path().string());
    ASSERT_TRUE(proxy->running());
    UseProxy(proxy->port());
  }
  CBuffer body;
  const auto start = Clock::now();
  const UPD_ERROR result =
      http_.DownloadToBuffer(Params(peer.HostPort()), &body, config_, &response_, 0, 0, nullptr);
  const auto took = Clock::now() - start;

  EXPECT_EQ(result, kUpdConnectionClosed);
  EXPECT_TRUE(http_.transfer_too_slow());
  EXPECT_GE(took, kCutNoSooner);
  EXPECT_LE(took, kCutNoLater);
  EXPECT_FALSE(tcp_.IsConnected());
  EXPECT_EQ(http_.via_proxy(), c.via_proxy);
  // Cut, not sent again: the same peer would be as slow.
  EXPECT_EQ(peer.Connections(), 1);
  EXPECT_LT(Contents(body).size(), kBody.size());
}

// A caller's own rule replaces the minute: a byte every 5 s breaks 64 bytes
// in 3 s within seconds, in the head or in the body, while 1,229 bytes a
// second for 4 s keeps above it.
TEST_F(TrickleTest, TheConfiguredMinimumRateIsTheOneHeldTo) {
  config_.minimum_rate = MinimumRate{64, 3};
  for (const bool in_head : {true, false}) {
    SCOPED_TRACE(in_head ? "head" : "body");
    ScriptedPeer& peer = StartTrickle(in_head);
    ASSERT_TRUE(peer.running());
    CBuffer body;
    const auto start = Clock::now();
    EXPECT_EQ(
        http_.DownloadToBuffer(Params(peer.HostPort()), &body, config_, &response_, 0, 0, nullptr),
        kUpdConnectionClosed);
    const auto took = Clock::now() - start;
    EXPECT_TRUE(http_.transfer_too_slow());
    EXPECT_GE(took, std::chrono::milliseconds(2900));
    EXPECT_LE(took, std::chrono::seconds(20));
    EXPECT_EQ(peer.Connections(), 1);
  }

  constexpr size_t kPiece = 1229;
  const std::string sent(kPiece * 4, 'p');
  ScriptedPeer& steady =
      StartPeer({ScriptedConnection{script::ReadRequest(),
                                    script::Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                                 std::to_string(sent.size()) + "\r\n\r\n"),
                                    script::Trickle(sent, 1.0, kPiece)}});
  ASSERT_TRUE(steady.running());
  CBuffer body;
  EXPECT_EQ(
      http_.DownloadToBuffer(Params(steady.HostPort()), &body, config_, &response_, 0, 0, nullptr),
      kUpdOk);
  EXPECT_FALSE(http_.transfer_too_slow());
  EXPECT_EQ(Contents(body), sent);
}

INSTANTIATE_TEST_SUITE_P(Peers, SlowHttpTrickleTest,
                         ::testing::Values(TrickleCase{"HeadDirect", true, false},
                                           TrickleCase{"BodyDirect", false, false},
                                           TrickleCase{"HeadViaTinyproxy", true, true},
                                           TrickleCase{"BodyViaTinyproxy", false, true}),
                         [](const ::testing::TestParamInfo<TrickleCase>& info) {
                           return std::string(info.param.name);
                         });

using SlowHttpPaceTest = TrickleTest;

// 1,229 bytes every second for 70 s: far below common links, far above the
// rule; the body comes whole.
TEST_F(SlowHttpPaceTest, ASlowButRealLinkIsNeverCut) {
  constexpr size_t kPiece = 1229;
  std::string body_sent;
  for (size_t i = 0; i < kPiece * 70; ++i) body_sent.push_back(static_cast<char>('a' + i % 26));
  ScriptedPeer& peer =
      StartPeer({ScriptedConnection{script::ReadRequest(),
                                    script::Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                                 std::to_string(body_sent.size()) + "\r\n\r\n"),
                                    script::Trickle(body_sent, 1.0, kPiece)}});
  ASSERT_TRUE(peer.running());
  CBuffer body;
  const auto start = Clock::now();
  EXPECT_EQ(
      http_.DownloadToBuffer(Params(peer.HostPort()), &body, config_, &response_, 0, 0, nullptr),
      kUpdOk);
  // It did last longer than the rule's minute.
  EXPECT_GE(Clock::now() - start, std::chrono::seconds(65));
  EXPECT_FALSE(http_.transfer_too_slow());
  EXPECT_EQ(Contents(body), body_sent);
  EXPECT_EQ(peer.Connections(), 1);
}

// The host's abort during a trickle in the head or in the body: 0x2107
// within 300 ms, not the minute of the rule.
TEST_F(TrickleTest, AnAbortDuringATrickleIs0x2107AtOnce) {
  for (const bool in_head : {true, false}) {
    SCOPED_TRACE(in_head ? "head" : "body");
    ScriptedPeer& peer = StartTrickle(in_head);
    ASSERT_TRUE(peer.running());
    std::atomic<int64_t> aborted_at{0};
    std::thread aborter([&] {
      EXPECT_TRUE(peer.WaitForConnections(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      aborted_at = Clock::now().time_since_epoch().count();
      (void)OsExchangeAbortFlag(1);
      http_.Abort();
    });
    CBuffer body;
    const UPD_ERROR result =
        http_.DownloadToBuffer(Params(peer.HostPort()), &body, config_, &response_, 0, 0, nullptr);
    const auto returned = Clock::now();
    aborter.join();
    (void)OsExchangeAbortFlag(0);
    EXPECT_EQ(result, kUpdStopped);
    EXPECT_LT(returned - Clock::time_point(Clock::duration(aborted_at.load())),
              std::chrono::milliseconds(300));
    EXPECT_FALSE(http_.transfer_too_slow());
    EXPECT_FALSE(tcp_.IsConnected());
    http_.Reset();
    peer_.reset();
  }
}

}  // namespace
}  // namespace upd::test
