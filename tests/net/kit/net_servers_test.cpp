#include "support/net_servers.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <string>

#include "support/curl_client.h"
#include "support/temp_dir.h"

// Each starter of the network test kit, checked with curl as the client.
namespace {

using upd::test::AccessLogEntry;
using upd::test::ApacheServer;
using upd::test::Curl;
using upd::test::CurlResult;
using upd::test::CurlVia;
using upd::test::NginxServer;
using upd::test::RunCommand;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::SquidProxy;
using upd::test::TempDir;
using upd::test::TinyProxy;
namespace script = upd::test::script;

bool ProcessGone(int pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

class NetKitTest : public ::testing::Test {
 protected:
  std::string parent() const { return dir_.path().string(); }
  TempDir dir_;
};

TEST_F(NetKitTest, NginxServesFilesOnBothLoopbacks) {
  NginxServer web(parent(), NginxServer::Options().Ipv6());
  ASSERT_TRUE(web.running());
  web.PutFile("sub/a.txt", "0123456789");

  EXPECT_EQ(Curl("'" + web.Url("/sub/a.txt") + "'").out, "0123456789");
  EXPECT_EQ(Curl("-g '" + web.Url6("/sub/a.txt") + "'").out, "0123456789");
  EXPECT_EQ(Curl("-r 2-4 '" + web.Url("/sub/a.txt") + "'").out, "234");

  const std::vector<AccessLogEntry> log = web.AccessLog(3);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].status, 200);
  EXPECT_EQ(log[0].request, "GET /sub/a.txt HTTP/1.1");
  EXPECT_EQ(log[2].status, 206);
  EXPECT_EQ(log[2].range, "bytes=2-4");
  EXPECT_EQ(log[2].bytes, 3u);
}

TEST_F(NetKitTest, NginxKeepsConnectionsAliveAndSendsGzipStatic) {
  NginxServer web(parent());
  ASSERT_TRUE(web.running());
  web.PutFile("a.txt", "plain");
  ASSERT_EQ(RunCommand("printf 'zipped' | gzip -c > '" + web.root() + "/a.txt.gz'"), 0);

  // Two URLs in one curl run share one connection.
  EXPECT_EQ(Curl("'" + web.Url("/a.txt") + "' '" + web.Url("/a.txt") + "'").out, "plainplain");
  const CurlResult zipped = Curl("-H 'Accept-Encoding: gzip' -D - '" + web.Url("/a.txt") + "'");
  EXPECT_NE(zipped.out.find("Content-Encoding: gzip"), std::string::npos) << zipped.out;
  EXPECT_NE(zipped.out.find("ETag: "), std::string::npos);

  const std::vector<AccessLogEntry> log = web.AccessLog(3);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].connection, log[1].connection);
  EXPECT_NE(log[1].connection, log[2].connection);
}

TEST_F(NetKitTest, NginxStopsWithItsObject) {
  int pid = 0;
  std::string url;
  {
    NginxServer web(parent());
    ASSERT_TRUE(web.running());
    pid = std::atoi(upd::test::ReadFile(web.folder() + "/nginx.pid").c_str());
    url = web.Url("/");
  }
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(ProcessGone(pid));
  EXPECT_NE(Curl("'" + url + "'").status, 0);
}

TEST_F(NetKitTest, ApacheAsksForDigestAuthentication) {
  ApacheServer web(parent(), ApacheServer::Options().DigestUser("alice", "secret"));
  ASSERT_TRUE(web.running());
  web.PutFile("digest/d.txt", "behind digest");
  web.PutFile("open.txt", "open");

  EXPECT_EQ(Curl("'" + web.Url("/open.txt") + "'").out, "open");
  EXPECT_EQ(Curl("--digest -u alice:secret '" + web.Url("/digest/d.txt") + "'").out,
            "behind digest");
  EXPECT_EQ(Curl("-o /dev/null -w '%{http_code}' '" + web.Url("/digest/d.txt") + "'").out, "401");
  EXPECT_EQ(
      Curl("-o /dev/null -w '%{http_code}' --digest -u alice:wrong '" + web.Url("/digest/d.txt") +
           "'")
          .out,
      "401");

  // curl tries without credentials first: 401 then 200, 401, 401 then 401.
  const std::vector<AccessLogEntry> log = web.AccessLog(6);
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1].status, 401);
  EXPECT_EQ(log[2].status, 200);
  EXPECT_EQ(log[2].user, "alice");
  EXPECT_EQ(log[5].status, 401);
}

TEST_F(NetKitTest, SquidProxiesWithBasicAndDigestAndTunnels) {
  NginxServer web(parent());
  ASSERT_TRUE(web.running());
  web.PutFile("p.txt", "through the proxy");
  SquidProxy proxy(parent(),
                   SquidProxy::Options().Authentication(SquidProxy::Auth::kBoth).User("bob", "pw"));
  ASSERT_TRUE(proxy.running());
  const std::string target = "'" + web.Url("/p.txt") + "'";

  EXPECT_EQ(CurlVia(proxy.Url(), "--proxy-user bob:pw " + target).out, "through the proxy");
  EXPECT_EQ(CurlVia(proxy.Url(), "--proxy-digest --proxy-user bob:pw " + target).out,
            "through the proxy");
  EXPECT_EQ(CurlVia(proxy.Url(), "-o /dev/null -w '%{http_code}' " + target).out, "407");
  // CONNECT tunnel to the web server.
  EXPECT_EQ(CurlVia(proxy.Url(), "-p --proxy-user bob:pw " + target).out, "through the proxy");

  // Basic is sent at once; Digest costs a 407 first. squid logs a tunnel
  // when it closes, which may be after curl has ended.
  const std::vector<AccessLogEntry> log = proxy.AccessLog(5);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].user, "bob");
  EXPECT_EQ(log[0].request, "GET " + web.Url("/p.txt") + " HTTP/1.1");
  bool tunnelled = false;
  for (const AccessLogEntry& e : log) tunnelled |= e.request.starts_with("CONNECT " + web.HostPort());
  EXPECT_TRUE(tunnelled);
}

TEST_F(NetKitTest, TinyproxyForwardsWithBasicAuthentication) {
  NginxServer web(parent());
  ASSERT_TRUE(web.running());
  web.PutFile("t.txt", "tiny");
  TinyProxy proxy(parent(), upd::test::Credential{"carol", "pw"});
  ASSERT_TRUE(proxy.running());

  EXPECT_EQ(CurlVia(proxy.Url(), "--proxy-user carol:pw '" + web.Url("/t.txt") + "'").out, "tiny");
  EXPECT_EQ(CurlVia(proxy.Url(), "-o /dev/null -w '%{http_code}' '" + web.Url("/t.txt") + "'").out,
            "407");
}

TEST_F(NetKitTest, ScriptedPeerRecordsRequestsAndAnswersByteForByte) {
  const std::string reply = upd::test::HttpResponse("HTTP/1.1 200 OK", std::string("a\0b", 3));
  ScriptedPeer peer(parent(), {{script::ReadRequest(), script::Send(reply)}},
                    ScriptedPeer::Options().Ipv6());
  ASSERT_TRUE(peer.running());

  const CurlResult r = Curl("-H 'X-Test: 1' -A agent '" + peer.Url("/f?q") + "'");
  EXPECT_EQ(r.out, std::string("a\0b", 3));
  const std::vector<ScriptedPeer::Request> requests = peer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].connection, 0);
  EXPECT_EQ(requests[0].raw, "GET /f?q HTTP/1.1\r\nHost: " + peer.HostPort() +
                                 "\r\nUser-Agent: agent\r\nAccept: */*\r\nX-Test: 1\r\n\r\n");
  EXPECT_EQ(peer.Received(0), requests[0].raw);
}

TEST_F(NetKitTest, ScriptedPeerCutsStallsAndTrickles) {
  const std::string reply = upd::test::HttpResponse("HTTP/1.1 200 OK", "0123456789");
  ScriptedPeer peer(parent(),
                    {ScriptedConnection{script::ReadRequest(), script::Send(reply)}.CutAfter(
                         reply.size() - 4),
                     {script::ReadRequest(), script::Stall()},
                     {script::ReadRequest(), script::Trickle(reply, 0.01, 7)}});
  ASSERT_TRUE(peer.running());

  const CurlResult partial = Curl("'" + peer.Url("/") + "'");
  EXPECT_EQ(partial.status, 18);  // partial file
  EXPECT_EQ(partial.out, "012345");
  EXPECT_EQ(Curl("-m 1 '" + peer.Url("/") + "'").status, 28);  // timed out
  EXPECT_EQ(Curl("'" + peer.Url("/") + "'").out, "0123456789");
  EXPECT_TRUE(peer.WaitForConnections(3));
}

TEST_F(NetKitTest, ServersOfOneKindRunSideBySide) {
  NginxServer first(parent());
  NginxServer second(parent());
  ASSERT_TRUE(first.running());
  ASSERT_TRUE(second.running());
  EXPECT_NE(first.port(), second.port());
  EXPECT_NE(first.folder(), second.folder());
  first.PutFile("which", "first");
  second.PutFile("which", "second");
  EXPECT_EQ(Curl("'" + first.Url("/which") + "'").out, "first");
  EXPECT_EQ(Curl("'" + second.Url("/which") + "'").out, "second");
}

}  // namespace
