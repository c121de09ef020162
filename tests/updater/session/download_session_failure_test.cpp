#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "updater/session/session_fixture.h"

// Abort from another thread while a peer stalls: the download ends at once.
namespace {

using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::SessionTest;
namespace script = upd::test::script;
using Clock = std::chrono::steady_clock;

using DownloadSessionFailureTest = SessionTest;

TEST_F(DownloadSessionFailureTest, AbortDuringAStallEndsTheDownloadWith0x2107) {
  struct Case {
    const char* name;
    ScriptedConnection connection;
  };
  const Case cases[] = {
      {"no answer", ScriptedConnection{script::ReadRequest(), script::Stall()}},
      {"body stalls", ScriptedConnection{script::ReadRequest(),
                                         script::Send("HTTP/1.1 200 OK\r\nContent-Length: "
                                                      "100000\r\n\r\npartial body"),
                                         script::Stall()}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer(dir_.path().string(), {c.connection});
    ASSERT_TRUE(peer.running());
    session().Reset();
    const std::string url = peer.Url("/p/f.bin");
    const std::string target = dir_.file("out");
    DownloadFileArgs args = ToFile(url, target);
    args.extraFlag = 1;
    auto download = std::async(std::launch::async, [&] { return session().DownloadFile(args); });
    ASSERT_TRUE(peer.WaitForConnections(1));
    // Let the session settle into its wait on the silent peer.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Clock::time_point aborted = Clock::now();
    session().Abort();
    ASSERT_EQ(download.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto took = Clock::now() - aborted;
    EXPECT_EQ(download.get(), kUpdStopped);
    EXPECT_LT(took, std::chrono::milliseconds(300));
  }
}

TEST_F(DownloadSessionFailureTest, AnAbortedSessionWorksAgainAfterReset) {
  ScriptedPeer peer(dir_.path().string(), {},
                    ScriptedPeer::Options().Otherwise(ScriptedConnection{
                        script::ReadRequest(),
                        script::Send(upd::test::HttpResponse("HTTP/1.1 200 OK", "body")),
                        script::Close()}));
  ASSERT_TRUE(peer.running());
  DownloadFileArgs args = ToFile(peer.Url("/f"), dir_.file("out"));
  args.extraFlag = 1;
  session().Abort();
  EXPECT_EQ(session().DownloadFile(args), kUpdStopped);
  session().Reset();
  EXPECT_EQ(session().DownloadFile(args), kUpdOk);
  EXPECT_EQ(upd::test::ReadFile(dir_.file("out")), "body");
}

}  // namespace
