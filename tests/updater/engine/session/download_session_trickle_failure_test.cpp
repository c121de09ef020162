#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/util/update_errors.h"
#include "session_fixture.h"
#include "support/net_servers.h"

// A cached download from a peer that trickles its body (one byte every
// 5 s): each attempt is cut after about a minute, and the session tries once
// more from the cache but not again, although each attempt brought a few
// bytes more.
namespace {

using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
namespace script = upd::test::script;
using Clock = std::chrono::steady_clock;

using SlowDownloadSessionTrickleTest = upd::test::SessionTest;

TEST_F(SlowDownloadSessionTrickleTest, ACachedDownloadGetsOneMoreAttemptAndNoMore) {
  ScriptedPeer peer(
      dir_.path().string(), {},
      ScriptedPeer::Options().Otherwise(ScriptedConnection{
          script::ReadRequest(), script::Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"),
          script::Trickle(std::string(1000, 't'), 5.0)}));
  ASSERT_TRUE(peer.running());
  const std::string url = peer.Url("/p/zel2.nup");
  const std::string target = dir_.file("target.nup");
  FetchFileArgs args;
  args.url = url.c_str();
  args.target = target.c_str();
  args.settings = host_.settings();
  args.cacheKey = "zel2.nup";
  args.extraFlag = 1;
  const auto start = Clock::now();
  EXPECT_EQ(session().FetchFile(args), kUpdConnectionClosed);
  const auto took = Clock::now() - start;
  EXPECT_EQ(peer.Connections(), 2);
  EXPECT_GE(took, std::chrono::seconds(110));
  EXPECT_LE(took, std::chrono::seconds(180));
  // The second attempt asked for the rest of what the first one cached.
  ASSERT_EQ(peer.Requests().size(), 2u);
  EXPECT_NE(peer.Requests()[1].raw.find("Range: bytes="), std::string::npos);
  // What came stays in the cache for a later run.
  EXPECT_TRUE(std::filesystem::exists(dir_.file("cache/index.ini")));
}

}  // namespace
