#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net/http/http_transport.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "support/loopback_listener.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"
#include "testhost/event_host.h"

// Requests through proxies: absolute targets through a plain proxy, CONNECT
// tunnels, and the one direct attempt after a proxy failure.
namespace {

using upd::test::AccessLogEntry;
using upd::test::ApacheServer;
using upd::test::ClosedPort;
using upd::test::Contents;
using upd::test::HttpResponse;
using upd::test::NetServer;
using upd::test::NginxServer;
using upd::test::ReadFile;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::SquidProxy;
using upd::test::TempDir;
using upd::test::TinyProxy;
using upd::testhost::EventHost;
namespace script = upd::test::script;

class HttpProxyTest : public ::testing::Test {
 protected:
  std::string parent() const { return dir_.path().string(); }

  NginxServer& StartNginx() {
    webs_.push_back(std::make_unique<NginxServer>(parent()));
    EXPECT_TRUE(webs_.back()->running());
    webs_.back()->PutFile("d/f.txt", content_);
    return *webs_.back();
  }

  void UseProxy(const std::string& host, int port, bool direct_retry) {
    config_.proxy.enabled = true;
    config_.proxy.host = host;
    config_.proxy.port = static_cast<uint32_t>(port);
    config_.proxy.direct_retry = direct_retry;
  }

  UPD_ERROR Fetch(CHttpTransport& http, const NetServer& server, CBuffer* body) {
    server_text_ = server.HostPort();
    HttpRequestParams params;
    params.host = server_text_;
    params.path = "/d/";
    params.file = "f.txt";
    return http.DownloadToBuffer(params, body, config_, &response_, 0, 0, nullptr);
  }

  TempDir dir_;
  std::vector<std::unique_ptr<NginxServer>> webs_;
  std::string server_text_;
  const std::string content_ = "through the proxy\n";
  FetchConfig config_;
  CTcpProtocol tcp_;
  CHttpTransport http_{tcp_, false};
  _HTTP_RESPONSE_INFO response_{};
};

TEST_F(HttpProxyTest, APlainProxyGetsTheAbsoluteTarget) {
  NginxServer& web = StartNginx();
  TinyProxy proxy(parent());
  ASSERT_TRUE(proxy.running());
  UseProxy("127.0.0.1", proxy.port(), false);

  CBuffer body;
  ASSERT_EQ(Fetch(http_, web, &body), kUpdOk);
  EXPECT_EQ(Contents(body), content_);
  EXPECT_TRUE(http_.via_proxy());
  const std::string log = ReadFile(proxy.Value("error_log"));
  EXPECT_NE(log.find("): HEAD " + web.Url("/d/f.txt") + " HTTP/1.1"), std::string::npos) << log;
  EXPECT_NE(log.find("): GET " + web.Url("/d/f.txt") + " HTTP/1.1"), std::string::npos) << log;
}

TEST_F(HttpProxyTest, TheAbsoluteTargetCarriesTheHostAsGiven) {
  ScriptedPeer proxy(
      parent(), {},
      ScriptedPeer::Options().Otherwise(
          {script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", "x"))}));
  ASSERT_TRUE(proxy.running());
  UseProxy("localhost", proxy.port(), false);
  HttpRequestParams params;
  params.host = "updates.example:8080";
  params.path = "/d/";
  params.file = "f.txt";
  params.skip_head = true;
  CBuffer body;
  ASSERT_EQ(http_.DownloadToBuffer(params, &body, config_, &response_, 0, 0, nullptr), kUpdOk);
  EXPECT_TRUE(proxy.Requests().at(0).raw.starts_with(
      "GET http://updates.example:8080/d/f.txt HTTP/1.1\r\nAccept: */*\r\nUser-Agent: \r\n"
      "Host: updates.example:8080\r\n"));
  EXPECT_EQ(http_.server_name(), "updates.example");
}

TEST_F(HttpProxyTest, AnUnreachableProxyIsLeftOnlyWhenTheSettingsAllow) {
  NginxServer& web = StartNginx();
  const int dead = ClosedPort();
  UseProxy("127.0.0.1", dead, false);
  CBuffer body;
  EXPECT_EQ(Fetch(http_, web, &body), kUpdServerUnreachable);
  EXPECT_TRUE(web.AccessLog().empty());

  // With the direct attempt allowed, the run goes on without the proxy.
  UseProxy("127.0.0.1", dead, true);
  ASSERT_EQ(Fetch(http_, web, &body), kUpdOk);
  EXPECT_EQ(Contents(body), content_);
  EXPECT_TRUE(http_.proxy_disabled());
  EXPECT_FALSE(http_.via_proxy());
  // Later requests of the run skip the proxy at once...
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Fetch(http_, web, &body), kUpdOk);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  // ...until the next run.
  http_.Reset();
  EXPECT_FALSE(http_.proxy_disabled());
  UseProxy("127.0.0.1", dead, false);
  EXPECT_EQ(Fetch(http_, web, &body), kUpdServerUnreachable);
}

TEST_F(HttpProxyTest, AProxyServerErrorIsTriedDirectlyOnce) {
  NginxServer& web = StartNginx();
  struct Case {
    const char* status_line;
    bool direct_retry;
    UPD_ERROR result;
  };
  const Case kCases[] = {
      {"HTTP/1.1 502 Bad Gateway", true, kUpdOk},
      {"HTTP/1.1 503 Service Unavailable", true, kUpdOk},
      {"HTTP/1.1 502 Bad Gateway", false, kUpdServerError},
      {"HTTP/1.1 503 Service Unavailable", false, kUpdServiceUnavailable},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.status_line) + (c.direct_retry ? " retried" : ""));
    ScriptedPeer proxy(parent(), {},
                       ScriptedPeer::Options().Otherwise(
                           {script::ReadRequest(), script::Send(HttpResponse(c.status_line, ""))}));
    ASSERT_TRUE(proxy.running());
    UseProxy("127.0.0.1", proxy.port(), c.direct_retry);
    CBuffer body;
    EXPECT_EQ(Fetch(http_, web, &body), c.result);
    // The proxy answered: it is not skipped for later requests.
    EXPECT_FALSE(http_.proxy_disabled());
    EXPECT_EQ(proxy.Requests().size(), 1u);
  }
}

// A transport for TLS over a plain connection: its requests open a CONNECT
// tunnel and then speak plain HTTP to the server through it, which shows
// what the proxy did with the tunnel.
TEST_F(HttpProxyTest, ATunnelStaysOpenWithOrWithoutAConnectionHeader) {
  NginxServer& web = StartNginx();
  const std::string apache_proxy =
      "LoadModule proxy_module /usr/lib/apache2/modules/mod_proxy.so\n"
      "LoadModule proxy_connect_module /usr/lib/apache2/modules/mod_proxy_connect.so\n"
      "ProxyRequests On\nAllowCONNECT 1-65535\n";
  std::vector<std::unique_ptr<NetServer>> proxies;
  proxies.push_back(std::make_unique<TinyProxy>(parent()));
  proxies.push_back(std::make_unique<SquidProxy>(parent()));
  proxies.push_back(
      std::make_unique<ApacheServer>(parent(), ApacheServer::Options().Conf(apache_proxy)));
  for (const auto& proxy : proxies) {
    SCOPED_TRACE(proxy->Value("kind"));
    ASSERT_TRUE(proxy->running());
    CTcpProtocol tcp;
    CHttpTransport tunnel(tcp, /*tls=*/true);
    UseProxy("127.0.0.1", proxy->port(), false);
    CBuffer body;
    ASSERT_EQ(Fetch(tunnel, web, &body), kUpdOk);
    EXPECT_EQ(Contents(body), content_);
    EXPECT_FALSE(tcp.IsPlainMode());
    tunnel.CloseConnection();
  }
  // The server saw the HEAD and the GET of each, not a CONNECT.
  const std::vector<AccessLogEntry> log = web.AccessLog(6);
  ASSERT_EQ(log.size(), 6u);
  for (const AccessLogEntry& e : log) EXPECT_EQ(e.status, 200) << e.request;
}

TEST_F(HttpProxyTest, ATunnelServesOnlyTheServerItWasOpenedTo) {
  ScriptedPeer proxy(
      parent(), {},
      ScriptedPeer::Options().Otherwise(
          {script::ReadUntil("\r\n\r\n"),
           script::Send("HTTP/1.1 200 Connection established\r\n\r\n"), script::ReadRequest(),
           script::Send(HttpResponse("HTTP/1.1 200 OK", "one", "Connection: keep-alive\r\n")),
           script::ReadRequest(),
           script::Send(HttpResponse("HTTP/1.1 200 OK", "two", "Connection: keep-alive\r\n")),
           script::Stall()}));
  ASSERT_TRUE(proxy.running());
  UseProxy("127.0.0.1", proxy.port(), false);
  CTcpProtocol tcp;
  CHttpTransport tunnel(tcp, /*tls=*/true);
  auto fetch = [&](const std::string& host) {
    HttpRequestParams params;
    params.host = host;
    params.path = "/";
    params.file = "f";
    params.skip_head = true;
    CBuffer body;
    EXPECT_EQ(tunnel.DownloadToBuffer(params, &body, config_, &response_, 0, 0, nullptr), kUpdOk);
    return Contents(body);
  };
  EXPECT_EQ(fetch("a.example:8443"), "one");
  EXPECT_EQ(fetch("a.example:8443"), "two");
  EXPECT_EQ(fetch("b.example"), "one");
  tunnel.CloseConnection();

  ASSERT_TRUE(proxy.WaitForConnections(2));
  EXPECT_TRUE(proxy.Received(0).starts_with(
      "CONNECT a.example:8443 HTTP/1.1\r\nHost: a.example:8443\r\nProxyCache: false\r\n\r\n"
      "GET /f HTTP/1.1\r\n"));
  EXPECT_TRUE(proxy.Received(1).starts_with(
      "CONNECT b.example:443 HTTP/1.1\r\nHost: b.example:443\r\nProxyCache: false\r\n\r\n"));
}

TEST_F(HttpProxyTest, OnlyA2xxOpensATunnel) {
  ScriptedPeer proxy(
      parent(), {},
      ScriptedPeer::Options().Otherwise(
          {script::ReadRequest(), script::Send("HTTP/1.1 301 Moved\r\nContent-Length: 0\r\n\r\n"),
           script::Stall()}));
  ASSERT_TRUE(proxy.running());
  UseProxy("127.0.0.1", proxy.port(), false);
  CTcpProtocol tcp;
  CHttpTransport tunnel(tcp, /*tls=*/true);
  CBuffer body;
  EXPECT_EQ(Fetch(tunnel, proxy, &body), kUpdSourceUnreadable);
  EXPECT_FALSE(tcp.IsConnected());
  EXPECT_FALSE(tcp.IsPlainMode());
  EXPECT_EQ(proxy.Requests().size(), 1u);
}

TEST_F(HttpProxyTest, AProxyAskingForCredentialsIs0x2002) {
  NginxServer& web = StartNginx();
  SquidProxy proxy(parent(),
                   SquidProxy::Options().Authentication(SquidProxy::Auth::kBasic).User("u", "p"));
  ASSERT_TRUE(proxy.running());
  UseProxy("127.0.0.1", proxy.port(), true);
  CBuffer body;
  EXPECT_EQ(Fetch(http_, web, &body), kUpdProxyAuthRequired);
  EXPECT_EQ(response_.auth_scheme, kHttpAuthBasic);
  CTcpProtocol tcp;
  CHttpTransport tunnel(tcp, /*tls=*/true);
  EXPECT_EQ(Fetch(tunnel, web, &body), kUpdProxyAuthRequired);
  EXPECT_TRUE(web.AccessLog().empty());
}

}  // namespace
