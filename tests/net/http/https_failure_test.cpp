#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "https_fixture.h"
#include "platform/os/os_abort.h"
#include "platform/util/update_errors.h"
#include "support/peer_process.h"

// HTTPS against peers that fail: short bodies, stalled and hostile
// handshakes, and an abort while waiting.
namespace upd::test {
namespace {

namespace script = upd::test::script;
using Clock = std::chrono::steady_clock;

class HttpsFailureTest : public HttpsTest {
 protected:
  UPD_ERROR FetchSkippingHead(const std::string& host, CBuffer* body) {
    HttpRequestParams params = Params(host, "/", "f");
    params.skip_head = true;
    return https_.DownloadToBuffer(params, body, config_, &response_, 0, 0, nullptr);
  }
};

TEST_F(HttpsFailureTest, ABodyCutShortIs0x2105WithOrWithoutCloseNotify) {
  for (const bool notify : {true, false}) {
    SCOPED_TRACE(notify ? "close_notify" : "socket closed");
    std::vector<std::string> argv = {PythonPath(),
                                     SourcePath("tests/net/http/tls_short_body_peer.py"),
                                     pki_.Pem("server"), pki_.Key("server")};
    if (notify) argv.push_back("--notify");
    PeerProcess peer(argv);
    ASSERT_TRUE(peer.running());
    CBuffer body;
    EXPECT_EQ(FetchSkippingHead("127.0.0.1:" + peer.first_line(), &body), kUpdConnectionClosed);
    EXPECT_FALSE(ssl_.IsConnected());
  }
}

// Bytes that are no TLS answer end the handshake as a failed send, at once.
TEST_F(HttpsFailureTest, APeerAnsweringTheHelloWithGarbageFailsTheConnection) {
  const std::string huge_record("\x16\x03\x03\xff\xff", 5);
  const std::string cases[] = {
      "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n",
      huge_record + std::string(100, 'z'),
      std::string("\x15\x03\x03\x00\x02\x02\x28", 7),  // a fatal alert
      std::string(20000, '\0'),
  };
  for (const std::string& answer : cases) {
    SCOPED_TRACE(answer.substr(0, 12));
    ScriptedPeer peer(parent(), {}, ScriptedPeer::Options().Otherwise(
                                        {script::Read(5), script::Send(answer), script::Close()}));
    ASSERT_TRUE(peer.running());
    CBuffer body;
    const auto start = Clock::now();
    EXPECT_EQ(FetchSkippingHead(peer.HostPort(), &body), kUpdServerUnreachable);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(ssl_.IsConnected());
  }
}

// A server that takes the client hello and never answers: an abort from
// another thread ends the wait within 300 ms, whether the host raised its
// flag too or only the transport was told.
TEST_F(HttpsFailureTest, AnAbortDuringAStalledHandshakeIs0x2107AtOnce) {
  for (const bool host_flag : {true, false}) {
    SCOPED_TRACE(host_flag ? "host's abort" : "transport's abort only");
    ScriptedPeer peer(parent(), {{script::Read(5), script::Stall()}});
    ASSERT_TRUE(peer.running());
    std::atomic<int64_t> aborted_at{0};
    std::thread aborter([&] {
      EXPECT_TRUE(peer.WaitForConnections(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      aborted_at = Clock::now().time_since_epoch().count();
      if (host_flag) (void)OsExchangeAbortFlag(1);
      https_.Abort();
    });
    CBuffer body;
    const UPD_ERROR result = FetchSkippingHead(peer.HostPort(), &body);
    const auto returned = Clock::now();
    aborter.join();
    (void)OsExchangeAbortFlag(0);
    EXPECT_EQ(result, kUpdStopped);
    EXPECT_LT(returned - Clock::time_point(Clock::duration(aborted_at.load())),
              std::chrono::milliseconds(300));
    EXPECT_FALSE(ssl_.IsConnected());
    // The next run starts afresh.
    https_.Reset();
    EXPECT_FALSE(ssl_.IsAborted());
  }
}

}  // namespace
}  // namespace upd::test
