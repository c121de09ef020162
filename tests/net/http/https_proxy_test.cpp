#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "https_fixture.h"
#include "net/http/server_certificate_check.h"
#include "platform/util/update_errors.h"

// HTTPS through proxies: the CONNECT exchange in plain text, then the
// handshake with the server inside the tunnel.
namespace upd::test {
namespace {

namespace script = upd::test::script;

class HttpsProxyTest : public HttpsTest {
 protected:
  void UseProxy(int port) {
    config_.proxy.enabled = true;
    config_.proxy.host = "127.0.0.1";
    config_.proxy.port = static_cast<uint32_t>(port);
  }
};

// squid logs a tunnel once it ends, behind whatever else it served: waits
// (up to 30 s: seconds on a loaded machine) until count tunnels of user
// ("" for any) are logged.
int LoggedTunnels(const NetServer& squid, int count, const std::string& user = "") {
  int tunnels = 0;
  for (int tries = 0; tries < 600; ++tries) {
    if (tries != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    tunnels = 0;
    for (const AccessLogEntry& entry : squid.AccessLog()) {
      if (entry.request.starts_with("CONNECT 127.0.0.1:") && (user.empty() || entry.user == user)) {
        ++tunnels;
      }
    }
    if (tunnels >= count) break;
  }
  return tunnels;
}

// Two downloads through each proxy, with the certificate check off and on:
// one CONNECT, one tunnel, one handshake with the server.
TEST_F(HttpsProxyTest, DownloadsGoThroughTinyproxyAndSquidOnOneTunnel) {
  NginxServer& web = StartNginx();
  web.PutFile("d/a.txt", "first");
  web.PutFile("d/b.txt", "second");
  // The trust-list download goes through the proxy too, to nobody.
  SetPkiBaseUrl(("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/").c_str());
  std::vector<std::unique_ptr<NetServer>> proxies;
  proxies.push_back(std::make_unique<TinyProxy>(parent()));
  proxies.push_back(std::make_unique<SquidProxy>(parent()));
  size_t seen = 0;
  for (const auto& proxy : proxies) {
    ASSERT_TRUE(proxy->running());
    UseProxy(proxy->port());
    for (const bool check : {false, true}) {
      SCOPED_TRACE(proxy->Value("kind") + (check ? " with the check" : " without the check"));
      CSslProtocol ssl;
      CHttpTransport https(ssl, true);
      if (check) https.SetCertificateCacheFolder(dir_.file("cache").c_str());
      for (const std::string file : {"a.txt", "b.txt"}) {
        CBuffer body;
        ASSERT_EQ(https.DownloadToBuffer(Params(web.HostPort(), "/d/", file), &body, config_,
                                         &response_, 0, 0, nullptr),
                  kUpdOk);
        EXPECT_EQ(Contents(body), file == "a.txt" ? "first" : "second");
      }
      EXPECT_TRUE(https.via_proxy());
      EXPECT_FALSE(ssl.IsPlainMode());
      https.CloseConnection();
      // HEAD and GET of each file, all on one connection from the proxy.
      seen += 4;
      const std::vector<AccessLogEntry> log = web.AccessLog(seen);
      ASSERT_EQ(log.size(), seen);
      for (size_t i = seen - 4; i < seen; ++i) {
        EXPECT_EQ(log[i].status, 200) << log[i].request;
        EXPECT_EQ(log[i].connection, log[seen - 4].connection) << log[i].request;
      }
    }
  }
  SetPkiBaseUrl(nullptr);
  EXPECT_EQ(LoggedTunnels(*proxies[1], 2), 2);
}

// squid asks for Basic credentials before it opens the tunnel; the answer
// goes in plain text, the request to the server inside the tunnel.
TEST_F(HttpsProxyTest, SquidWithBasicAuthenticationOpensTheTunnel) {
  NginxServer& web = StartNginx();
  web.PutFile("d/a.txt", "behind the proxy");
  SquidProxy proxy(parent(), SquidProxy::Options()
                                 .Authentication(SquidProxy::Auth::kBasic)
                                 .User("tunnel", "s3cret"));
  ASSERT_TRUE(proxy.running());
  UseProxy(proxy.port());
  config_.proxy.user = "tunnel";
  config_.proxy.password = "s3cret";
  CBuffer body;
  ASSERT_EQ(Fetch(web.HostPort(), "/d/", "a.txt", &body), kUpdOk);
  EXPECT_EQ(Contents(body), "behind the proxy");
  https_.CloseConnection();
  EXPECT_EQ(LoggedTunnels(proxy, 1, "tunnel"), 1);
  EXPECT_EQ(web.AccessLog(2).size(), 2u);

  // A wrong password never reaches the server.
  config_.proxy.password = "wrong";
  CSslProtocol ssl;
  CHttpTransport https(ssl, true);
  EXPECT_EQ(https.DownloadToBuffer(Params(web.HostPort(), "/d/", "a.txt"), &body, config_,
                                   &response_, 0, 0, nullptr),
            kUpdProxyAuthRequired);
  EXPECT_EQ(web.AccessLog(2).size(), 2u);
}

// The proxy gets exactly the CONNECT text; the client hello follows only
// once the proxy opened the tunnel.
TEST_F(HttpsProxyTest, TheHelloWaitsForTheProxysAnswer) {
  const std::string connect_text =
      "CONNECT secure.example:8443 HTTP/1.1\r\nHost: secure.example:8443\r\n"
      "ProxyCache: false\r\n\r\n";
  struct Case {
    const char* what;
    std::string answer;
    bool hello_follows;
  };
  const Case cases[] = {
      {"tunnel opened", "HTTP/1.1 200 Connection established\r\n\r\n", true},
      {"tunnel refused", "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedPeer proxy(parent(), {{script::ReadRequest(), script::Sleep(0.2),
                                   script::Send(c.answer), script::Read(5), script::Close()}});
    ASSERT_TRUE(proxy.running());
    UseProxy(proxy.port());
    CSslProtocol ssl;
    CHttpTransport https(ssl, true);
    HttpRequestParams params = Params("secure.example:8443", "/", "f");
    params.skip_head = true;
    CBuffer body;
    EXPECT_NE(https.DownloadToBuffer(params, &body, config_, &response_, 0, 0, nullptr), kUpdOk);
    https.CloseConnection();
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].raw, connect_text);
    const std::string received = proxy.Received(0);
    ASSERT_TRUE(received.starts_with(connect_text));
    const std::string after = received.substr(connect_text.size());
    if (c.hello_follows) {
      // A TLS handshake record.
      ASSERT_GE(after.size(), 3u);
      EXPECT_EQ(after[0], '\x16');
      EXPECT_EQ(after[1], '\x03');
    } else {
      EXPECT_EQ(after, "");
    }
  }
}

}  // namespace
}  // namespace upd::test
