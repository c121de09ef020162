#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "https_fixture.h"
#include "platform/util/update_errors.h"

// HTTPS behind authentication: the proxy's challenge answered on the CONNECT
// in plain text, the server's inside the tunnel.
namespace upd::test {
namespace {

class HttpsAuthTest : public HttpsTest {
 protected:
  void UseProxy(const NetServer& proxy, const char* password) {
    config_.proxy.enabled = true;
    config_.proxy.host = "127.0.0.1";
    config_.proxy.port = proxy.port();
    config_.proxy.user = "proxy-user";
    config_.proxy.password = password;
  }
};

// squid keeps its connection after a 407; tinyproxy closes it, and the
// answer goes out on a new one, still in plain text.
TEST_F(HttpsAuthTest, ThroughAuthenticatingProxiesToOpensslServer) {
  OpenSslServer& www = StartWww("server", {"inter"});
  WriteFile(www.folder().file("f.txt"), "tls behind a proxy login\n");
  const std::string host = "127.0.0.1:" + std::to_string(www.port());
  struct Case {
    const char* name;
    SquidProxy::Auth auth;  // kNone: tinyproxy
    const char* password;
    UPD_ERROR result;
  };
  const Case kCases[] = {
      {"squid basic", SquidProxy::Auth::kBasic, "proxy.pass", kUpdOk},
      {"squid digest", SquidProxy::Auth::kDigest, "proxy.pass", kUpdOk},
      {"squid offering both", SquidProxy::Auth::kBoth, "proxy.pass", kUpdOk},
      {"squid basic, wrong", SquidProxy::Auth::kBasic, "wrong", kUpdProxyAuthRequired},
      {"squid digest, wrong", SquidProxy::Auth::kDigest, "wrong", kUpdProxyAuthRequired},
      {"tinyproxy", SquidProxy::Auth::kNone, "proxy.pass", kUpdOk},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<NetServer> proxy;
    if (c.auth == SquidProxy::Auth::kNone) {
      proxy = std::make_unique<TinyProxy>(parent(), Credential{"proxy-user", "proxy.pass"});
    } else {
      proxy = std::make_unique<SquidProxy>(
          parent(), SquidProxy::Options().Authentication(c.auth).User("proxy-user", "proxy.pass"));
    }
    ASSERT_TRUE(proxy->running());
    UseProxy(*proxy, c.password);
    CSslProtocol ssl;
    CHttpTransport https(ssl, true);
    // s_server -WWW answers GET only.
    HttpRequestParams params = Params(host, "/", "f.txt");
    params.skip_head = true;
    CBuffer body;
    EXPECT_EQ(https.DownloadToBuffer(params, &body, config_, &response_, 0, 0, nullptr), c.result);
    if (c.result == kUpdOk) {
      EXPECT_EQ(Contents(body), "tls behind a proxy login\n");
    }
    EXPECT_FALSE(ssl.IsPlainMode());
    https.CloseConnection();
  }
}

// nginx asks inside the tunnel, squid on the CONNECT: both get their answer.
TEST_F(HttpsAuthTest, ProxyAndServerBothAskOverTls) {
  WriteFile(dir_.file("nginx.users"), "server-user:{PLAIN}server pass\n");
  NginxServer& web = StartNginx("server",
                                "location /basic/ { auth_basic \"tls area\"; "
                                "auth_basic_user_file " +
                                    dir_.file("nginx.users") + "; }\n");
  web.PutFile("basic/f.txt", "both logins\n");
  config_.server_user = "server-user";
  config_.server_password = "server pass";
  CBuffer direct;
  ASSERT_EQ(Fetch(web.HostPort(), "/basic/", "f.txt", &direct), kUpdOk);
  EXPECT_EQ(Contents(direct), "both logins\n");
  https_.CloseConnection();

  for (const SquidProxy::Auth auth : {SquidProxy::Auth::kBasic, SquidProxy::Auth::kDigest}) {
    SquidProxy proxy(parent(),
                     SquidProxy::Options().Authentication(auth).User("proxy-user", "proxy pass"));
    ASSERT_TRUE(proxy.running());
    UseProxy(proxy, "proxy pass");
    CSslProtocol ssl;
    CHttpTransport https(ssl, true);
    CBuffer body;
    EXPECT_EQ(https.DownloadToBuffer(Params(web.HostPort(), "/basic/", "f.txt"), &body, config_,
                                     &response_, 0, 0, nullptr),
              kUpdOk);
    EXPECT_EQ(Contents(body), "both logins\n");
    https.CloseConnection();
  }
  const std::vector<AccessLogEntry> log = web.AccessLog(3);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().user, "server-user");
  EXPECT_EQ(log.back().status, 200);
}

}  // namespace
}  // namespace upd::test
