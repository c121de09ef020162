#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "platform/util/update_errors.h"
#include "session_fixture.h"
#include "support/net_servers.h"
#include "updater/api/context.h"

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

// The context's session: built on the data folder's "cache", stopped by the
// host's abort call.
TEST(ContextSessionFailure, UpdAbortUpdateStopsTheContextsDownload) {
  upd::test::TempDir dir;
  std::filesystem::create_directories(dir.file("modules"));
  UPDATER_CONTEXT* context =
      UpdInitialize(dir.file("data").c_str(), dir.file("modules").c_str(), "1.0", "host");
  ASSERT_NE(context, nullptr);
  ASSERT_NE(context->session, nullptr);
  ScriptedPeer peer(dir.path().string(),
                    {ScriptedConnection{script::ReadRequest(),
                                        script::Send("HTTP/1.1 200 OK\r\nContent-Length: "
                                                     "5000\r\n\r\nfirst bytes"),
                                        script::Stall()}});
  ASSERT_TRUE(peer.running());
  const std::string url = peer.Url("/p/zel2.nup");
  const std::string target = dir.file("target.nup");
  FetchFileArgs args;
  args.url = url.c_str();
  args.target = target.c_str();
  args.cacheKey = "zel2.nup";
  args.extraFlag = 1;
  context->session->Reset();
  auto fetch = std::async(std::launch::async, [&] { return context->session->FetchFile(args); });
  ASSERT_TRUE(peer.WaitForConnections(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const Clock::time_point aborted = Clock::now();
  UpdAbortUpdate(context);
  ASSERT_EQ(fetch.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_LT(Clock::now() - aborted, std::chrono::milliseconds(300));
  EXPECT_EQ(fetch.get(), kUpdStopped);
  // The broken download waits in the cache for the next attempt.
  EXPECT_TRUE(std::filesystem::exists(dir.file("data/cache/index.ini")));
  UpdUninitialize(context);
}

}  // namespace
