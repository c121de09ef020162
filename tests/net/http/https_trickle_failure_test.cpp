#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "https_fixture.h"
#include "platform/os/os_abort.h"
#include "platform/util/update_errors.h"
#include "support/peer_process.h"

// HTTPS against peers whose raw TLS bytes trickle (tls_paced_peer.py, one
// byte every 5 s, so that one record takes many receives): in the handshake,
// the head or the body, directly or through squid's tunnel, and a proxy
// that trickles its CONNECT answer. Each is cut about a minute after the
// request with 0x2105; a slow but real link completes; an abort still ends
// a trickle at once.
namespace upd::test {
namespace {

namespace script = upd::test::script;
using Clock = std::chrono::steady_clock;

constexpr auto kCutNoSooner = std::chrono::seconds(55);
constexpr auto kCutNoLater = std::chrono::seconds(90);

// What tls_paced_peer.py sends as byte i of its body.
std::string PeerBody(size_t size) {
  std::string body;
  for (size_t i = 0; i < size; ++i) body.push_back(static_cast<char>((i * 7 + 3) % 256));
  return body;
}

struct PacedPeer {
  std::string phase;  // handshake, head, body
  int piece = 1;
  double interval = 5.0;
  size_t body = 1000;
};

class TrickleHttpsTest : public HttpsTest {
 protected:
  std::unique_ptr<PeerProcess> StartPaced(const PacedPeer& paced) {
    auto peer = std::make_unique<PeerProcess>(std::vector<std::string>{
        PythonPath(), SourcePath("tests/net/http/tls_paced_peer.py"), pki_.Pem("server"),
        pki_.Key("server"), "--phase", paced.phase, "--piece", std::to_string(paced.piece),
        "--interval", std::to_string(paced.interval), "--body", std::to_string(paced.body)});
    EXPECT_TRUE(peer->running());
    return peer;
  }

  void UseProxy(uint16_t port) {
    config_.proxy.enabled = true;
    config_.proxy.host = "127.0.0.1";
    config_.proxy.port = port;
  }

  UPD_ERROR FetchSkippingHead(const std::string& host, CBuffer* body) {
    HttpRequestParams params = Params(host, "/", "f");
    params.skip_head = true;
    return https_.DownloadToBuffer(params, body, config_, &response_, 0, 0, nullptr);
  }

  // The download of host, which must end with 0x2105 within the bounds.
  void ExpectCut(const std::string& host) {
    CBuffer body;
    const auto start = Clock::now();
    const UPD_ERROR result = FetchSkippingHead(host, &body);
    const auto took = Clock::now() - start;
    EXPECT_EQ(result, kUpdConnectionClosed);
    EXPECT_TRUE(https_.transfer_too_slow());
    EXPECT_GE(took, kCutNoSooner);
    EXPECT_LE(took, kCutNoLater);
    EXPECT_FALSE(ssl_.IsConnected());
  }
};

struct TlsTrickleCase {
  const char* name;
  const char* phase;
  bool via_squid;
};
// Names the case in test names and messages (instead of its bytes).
void PrintTo(const TlsTrickleCase& c, std::ostream* out) { *out << c.name; }

class SlowHttpsTrickleTest : public TrickleHttpsTest,
                             public ::testing::WithParamInterface<TlsTrickleCase> {};

TEST_P(SlowHttpsTrickleTest, IsCutAboutAMinuteAfterTheRequestWith0x2105) {
  const TlsTrickleCase& c = GetParam();
  const std::unique_ptr<PeerProcess> peer = StartPaced({.phase = c.phase});
  ASSERT_TRUE(peer->running());
  std::unique_ptr<SquidProxy> squid;
  if (c.via_squid) {
    squid = std::make_unique<SquidProxy>(parent());
    ASSERT_TRUE(squid->running());
    UseProxy(squid->port());
  }
  ExpectCut("127.0.0.1:" + peer->first_line());
  EXPECT_EQ(https_.via_proxy(), c.via_squid);
}

INSTANTIATE_TEST_SUITE_P(Peers, SlowHttpsTrickleTest,
                         ::testing::Values(TlsTrickleCase{"Handshake", "handshake", false},
                                           TlsTrickleCase{"Head", "head", false},
                                           TlsTrickleCase{"Body", "body", false},
                                           TlsTrickleCase{"HandshakeViaSquid", "handshake", true},
                                           TlsTrickleCase{"BodyViaSquid", "body", true}),
                         [](const ::testing::TestParamInfo<TlsTrickleCase>& info) {
                           return std::string(info.param.name);
                         });

using SlowHttpsPaceTest = TrickleHttpsTest;

// A proxy that trickles its answer to CONNECT: the tunnel is never opened,
// and the request is not sent again.
TEST_F(SlowHttpsPaceTest, AProxyTricklingItsConnectAnswerIsCut) {
  ScriptedPeer proxy(parent(), {},
                     ScriptedPeer::Options().Otherwise(
                         {script::ReadRequest(),
                          script::Trickle("HTTP/1.1 200 Connection established\r\n\r\n", 5.0)}));
  ASSERT_TRUE(proxy.running());
  UseProxy(proxy.port());
  ExpectCut("127.0.0.1:1");
  EXPECT_EQ(proxy.Connections(), 1);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_TRUE(proxy.Requests()[0].raw.starts_with("CONNECT 127.0.0.1:1 "));
}

// 1,229 raw bytes every second for about 70 s: each 16 KiB record takes
// over a dozen receives, the body comes whole.
TEST_F(SlowHttpsPaceTest, ASlowButRealLinkIsNeverCut) {
  constexpr size_t kBody = 1229 * 69;
  const std::unique_ptr<PeerProcess> peer =
      StartPaced({.phase = "body", .piece = 1229, .interval = 1.0, .body = kBody});
  ASSERT_TRUE(peer->running());
  CBuffer body;
  const auto start = Clock::now();
  EXPECT_EQ(FetchSkippingHead("127.0.0.1:" + peer->first_line(), &body), kUpdOk);
  EXPECT_GE(Clock::now() - start, std::chrono::seconds(65));
  EXPECT_FALSE(https_.transfer_too_slow());
  EXPECT_EQ(Contents(body), PeerBody(kBody));
}

// The transport's abort during a trickled handshake, head or body: 0x2107
// within 300 ms, not the minute of the rule.
TEST_F(TrickleHttpsTest, AnAbortDuringATrickleIs0x2107AtOnce) {
  for (const char* phase : {"handshake", "head", "body"}) {
    SCOPED_TRACE(phase);
    const std::unique_ptr<PeerProcess> peer = StartPaced({.phase = phase});
    ASSERT_TRUE(peer->running());
    std::atomic<int64_t> aborted_at{0};
    std::thread aborter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      aborted_at = Clock::now().time_since_epoch().count();
      https_.Abort();
    });
    CBuffer body;
    const UPD_ERROR result = FetchSkippingHead("127.0.0.1:" + peer->first_line(), &body);
    const auto returned = Clock::now();
    aborter.join();
    EXPECT_EQ(result, kUpdStopped);
    EXPECT_LT(returned - Clock::time_point(Clock::duration(aborted_at.load())),
              std::chrono::milliseconds(300));
    EXPECT_FALSE(https_.transfer_too_slow());
    EXPECT_FALSE(ssl_.IsConnected());
    https_.Reset();
  }
}

}  // namespace
}  // namespace upd::test
