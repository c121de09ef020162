#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "verify/certhttp/http_send.h"
#include "verify/certhttp/scripted_server.h"

namespace {

using namespace certhttp_test;

const std::string kOk5 = Response("HTTP/1.1 200 OK", "hello");

// Base64 of "user:password" as coreutils writes it.
std::string Basic(const std::string& pair) {
  std::string out;
  EXPECT_EQ(upd::test::RunCommand("printf '%s' '" + pair + "' | base64 -w0", &out), 0);
  return "Basic " + out;
}

TEST(HttpRequestBytes, DirectGetSendsFourLines) {
  ScriptedServer server({Reply(kOk5)});
  ASSERT_TRUE(server.running());
  const Fetch f = Get(Direct(server, "/ctl/abc.stl"));
  EXPECT_EQ(f.open, http::kOk);
  EXPECT_EQ(f.read, http::kEnd);
  EXPECT_EQ(f.body, "hello");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw, "GET /ctl/abc.stl HTTP/1.1\r\nHost: " + server.address() + ":" +
                                 std::to_string(server.port()) +
                                 "\r\nConnection: Keep-Alive\r\n\r\n");
}

TEST(HttpRequestBytes, ProxiedGetUsesAbsoluteForm) {
  ScriptedServer proxy({Reply(kOk5)});
  ASSERT_TRUE(proxy.running());
  http::CHTTPRequest r;
  r.host = "pki.example";
  r.port = 80;
  r.path = "ctl/x.stl";  // a "/" is put in front
  r.proxy_host = proxy.address().c_str();
  r.proxy_port = proxy.port();
  const Fetch f = Get(r);
  EXPECT_EQ(f.open, http::kOk);
  EXPECT_EQ(f.body, "hello");
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw,
            "GET http://pki.example:80/ctl/x.stl HTTP/1.1\r\nHost: pki.example:80\r\n"
            "Connection: Keep-Alive\r\nProxy-Connection: Keep-Alive\r\n\r\n");
}

TEST(HttpRequestBytes, QueryEncodesBlanksAndSlashesOnly) {
  ScriptedServer server({Reply(kOk5)});
  ASSERT_TRUE(server.running());
  http::CHTTPContent content;
  content.query = "a b/c=d&e%f?g";
  const Fetch f = Get(Direct(server, nullptr), nullptr, &content);
  EXPECT_EQ(f.open, http::kOk);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw.substr(0, requests[0].raw.find("\r\n")),
            "GET /?a%20b%2Fc=d&e%f?g HTTP/1.1");
}

TEST(HttpRequestBytes, PostWithBodyAndWrongUses) {
  ScriptedServer server({Reply(kOk5)});
  ASSERT_TRUE(server.running());
  http::CHTTPRequest r = Direct(server, "/form");
  http::CHTTPContent content;
  const std::string body = "x=1&y=2";
  content.body = body.data();
  content.content_length = body.size();
  content.content_type = "application/x-www-form-urlencoded";
  http::CHTTPSession* session = nullptr;
  ASSERT_EQ(http::HttpSessionOpen(http::kMethodPost, &r, nullptr, &content, &session, nullptr, 10,
                                  nullptr),
            http::kOk);
  EXPECT_EQ(http::HttpSessionClose(session), http::kOk);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw, "POST /form HTTP/1.1\r\nHost: " + server.address() + ":" +
                                 std::to_string(server.port()) +
                                 "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                                 "Content-Length: 7\r\nConnection: Keep-Alive\r\n\r\nx=1&y=2");

  struct Case {
    const char* name;
    uint32_t method;
    const char* query;
  };
  const Case cases[] = {{"unknown method", 2, nullptr}, {"post with a query", 1, "a=b"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http::CHTTPContent bad;
    bad.query = c.query;
    session = nullptr;
    EXPECT_EQ(http::HttpSessionOpen(c.method, &r, nullptr, &bad, &session, nullptr, 10, nullptr),
              http::kBadRequest);
    EXPECT_EQ(session, nullptr);
  }
  EXPECT_EQ(server.Requests().size(), 1u);  // nothing more was sent
}

struct AuthCase {
  const char* name;
  std::vector<Exchange> exchanges;
  bool proxy;  // the scripted server plays the proxy
  uint32_t open;
  size_t requests;
};

void PrintTo(const AuthCase& c, std::ostream* os) { *os << c.name; }

class HttpAuthTest : public ::testing::TestWithParam<AuthCase> {};

TEST_P(HttpAuthTest, AnswersOneBasicChallenge) {
  const AuthCase& c = GetParam();
  ScriptedServer server(c.exchanges);
  ASSERT_TRUE(server.running());
  http::CHTTPRequest r = Direct(server, "/secret");
  if (c.proxy) {
    r.host = "pki.example";
    r.port = 80;
    r.proxy_host = server.address().c_str();
    r.proxy_port = server.port();
  }
  http::CHTTPCredentials credentials;
  credentials.user_name = "alice";
  credentials.password = "s3cret";
  credentials.proxy_user_name = "bob";
  credentials.proxy_password = "pr0xy";
  const Fetch f = Get(r, &credentials);
  EXPECT_EQ(f.open, c.open);
  if (c.open == http::kOk) {
    EXPECT_EQ(f.body, "hello");
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), c.requests);
  const std::string header = c.proxy ? "\r\nProxy-Authorization: " : "\r\nAuthorization: ";
  EXPECT_EQ(requests[0].raw.find(header), std::string::npos);
  if (c.requests > 1) {
    const std::string expected = header + Basic(c.proxy ? "bob:pr0xy" : "alice:s3cret") + "\r\n";
    EXPECT_NE(requests[1].raw.find(expected), std::string::npos) << requests[1].raw;
  }
}

const std::string k401Basic =
    Response("HTTP/1.1 401 Unauthorized", "no", "WWW-Authenticate: Basic realm=\"pki\"\r\n");
const std::string k401Digest =
    Response("HTTP/1.1 401 Unauthorized", "no", "WWW-Authenticate: Digest realm=\"pki\"\r\n");
const std::string k407Basic = Response("HTTP/1.1 407 Proxy Authentication Required", "no",
                                       "Proxy-Authenticate: basic realm=\"proxy\"\r\n");

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpAuthTest,
    ::testing::Values(
        AuthCase{"server_basic_then_ok", {Reply(k401Basic), Reply(kOk5)}, false, http::kOk, 2},
        AuthCase{"server_refuses_twice",
                 {Reply(k401Basic), Reply(k401Basic)},
                 false,
                 http::kUnauthorized,
                 2},
        AuthCase{"server_digest_only", {Reply(k401Digest)}, false, http::kUnauthorized, 1},
        AuthCase{"server_closes_after_401",
                 {Reply(Response("HTTP/1.1 401 Unauthorized", "no",
                                 "Connection: close\r\nWWW-Authenticate: Basic\r\n"),
                        "close"),
                  Reply(kOk5)},
                 false,
                 http::kOk,
                 2},
        AuthCase{"proxy_basic_then_ok", {Reply(k407Basic), Reply(kOk5)}, true, http::kOk, 2},
        AuthCase{"proxy_refuses_twice",
                 {Reply(k407Basic), Reply(k407Basic)},
                 true,
                 http::kProxyAuthRequired,
                 2},
        AuthCase{"proxy_without_basic",
                 {Reply(Response("HTTP/1.1 407 Proxy Authentication Required", "",
                                 "Proxy-Authenticate: Negotiate\r\n"))},
                 true,
                 http::kProxyAuthRequired,
                 1}),
    [](const ::testing::TestParamInfo<AuthCase>& info) { return std::string(info.param.name); });

struct RedirectCase {
  const char* name;
  std::string location_header;  // the whole header line
  const char* status;
  uint32_t open;
};

TEST(HttpRedirect, LocationForms) {
  const RedirectCase cases[] = {
      {"https ends in tls refusal", "Location: https://{SELF}/x\r\n", "301 Moved",
       http::kTlsUnsupported},
      {"no scheme", "Location: /other\r\n", "302 Found", http::kBadLocation},
      {"empty host", "Location: http:///x\r\n", "302 Found", http::kBadLocation},
      {"port not a number", "Location: http://127.0.0.1:zz/x\r\n", "307 Temporary",
       http::kMalformed},
      {"no location", "", "308 Permanent", http::kBadRequest},
      {"user information", "Location: http://u:p@127.0.0.1/x\r\n", "302 Found",
       http::kBadLocation},
      {"blank inside", "Location: http://127.0.0.1/a b\r\n", "302 Found", http::kBadLocation},
      {"another scheme", "Location: ftp://127.0.0.1/x\r\n", "302 Found", http::kBadLocation},
      {"port past 65535", "Location: http://127.0.0.1:65536/x\r\n", "302 Found",
       http::kMalformed},
  };
  for (const RedirectCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server(
        {Reply(Response(std::string("HTTP/1.1 ") + c.status, "", c.location_header))});
    ASSERT_TRUE(server.running());
    const Fetch f = Get(Direct(server, "/a"));
    EXPECT_EQ(f.open, c.open);
  }
}

TEST(HttpRedirect, FollowedToAnotherServerWithBackslashesAnd201) {
  ScriptedServer target({Reply(kOk5)});
  ASSERT_TRUE(target.running());
  const std::string location = "Location: HTTP://" + target.address() + ":" +
                               std::to_string(target.port()) + "\\new\\place\r\n";
  ScriptedServer first({Reply(Response("HTTP/1.1 201 Created", "made", location))});
  ASSERT_TRUE(first.running());
  http::CHTTPCredentials credentials;
  const Fetch f = Get(Direct(first, "/a"), &credentials);
  EXPECT_EQ(f.open, http::kOk);
  EXPECT_EQ(f.body, "hello");
  const auto requests = target.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw.substr(0, requests[0].raw.find("\r\n")), "GET /new/place HTTP/1.1");
}

TEST(HttpRedirect, SelfRedirectStopsAtTheBound) {
  const std::vector<Exchange> answers(
      30, Reply(Response("HTTP/1.1 302 Found", "", "Location: http://{SELF}/again\r\n")));
  ScriptedServer server(answers);
  ASSERT_TRUE(server.running());
  const Fetch f = Get(Direct(server, "/start"));
  EXPECT_EQ(f.open, http::kRedirect);
  // The first request and the ten redirects that were followed.
  EXPECT_EQ(server.Requests().size(), 1u + http::kMaxRedirects);
}

TEST(HttpRepeat, BypassCacheRepeatsThenGivesUp) {
  const std::string bypass = Response("HTTP/1.1 200 OK", "old", "X-Bypass-Cache: 1\r\n");
  {
    ScriptedServer server({Reply(bypass), Reply(bypass), Reply(kOk5)});
    ASSERT_TRUE(server.running());
    const Fetch f = Get(Direct(server, "/a"));
    EXPECT_EQ(f.open, http::kOk);
    EXPECT_EQ(f.body, "hello");
    EXPECT_EQ(server.Requests().size(), 3u);
  }
  ScriptedServer server(std::vector<Exchange>(12, Reply(bypass)));
  ASSERT_TRUE(server.running());
  EXPECT_EQ(Get(Direct(server, "/a")).open, http::kBypassLoop);
  EXPECT_EQ(server.Requests().size(), 10u);
}

TEST(HttpProxy, UnreachableProxyAndDirectFallback) {
  ScriptedServer server({Reply(kOk5)});
  ASSERT_TRUE(server.running());
  const int closed_port = upd::test::FreeLoopbackPort();
  http::CHTTPRequest r = Direct(server, "/a");
  r.proxy_host = "127.0.0.1";
  r.proxy_port = static_cast<uint32_t>(closed_port);
  EXPECT_EQ(Get(r).open, http::kNoProxyConnection);
  EXPECT_TRUE(server.Requests().empty());

  r.direct_fallback = 1;
  const Fetch f = Get(r);
  EXPECT_EQ(f.open, http::kOk);
  EXPECT_EQ(f.body, "hello");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw.rfind("GET /a HTTP/1.1\r\n", 0), 0u);  // origin form: no proxy
}

TEST(HttpProxy, UnresolvableNames) {
  http::CHTTPRequest r;
  r.host = "127.0.0.1";
  r.port = 9;
  r.path = "/";
  r.proxy_host = "proxy name with blanks";
  r.proxy_port = 3128;
  EXPECT_EQ(Get(r).open, http::kProxyNotResolved);
  http::CHTTPRequest direct;
  direct.host = "server name with blanks";
  direct.port = 80;
  direct.path = "/";
  EXPECT_EQ(Get(direct).open, http::kHostNotResolved);
  direct.host = "127.0.0.1";
  direct.port = static_cast<uint32_t>(upd::test::FreeLoopbackPort());
  EXPECT_EQ(Get(direct).open, http::kNoConnection);
}

TEST(HttpProxy, TinyproxyWithBasicAuthentication) {
  ScriptedServer origin({Reply(kOk5)});
  RealProxy proxy("bob", "pr0xy");
  ASSERT_TRUE(origin.running());
  ASSERT_TRUE(proxy.running());
  http::CHTTPRequest r = Direct(origin, "/via/proxy");
  r.proxy_host = "127.0.0.1";
  r.proxy_port = proxy.port();
  http::CHTTPCredentials credentials;
  credentials.proxy_user_name = "bob";
  credentials.proxy_password = "pr0xy";
  const Fetch f = Get(r, &credentials);
  EXPECT_EQ(f.open, http::kOk);
  EXPECT_EQ(f.body, "hello");
  const auto requests = origin.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw.rfind("GET /via/proxy HTTP/1.", 0), 0u) << requests[0].raw;

  // tinyproxy answers a wrong proxy password with a 401 of its own, which the
  // client answers once with the (empty) server credentials.
  credentials.proxy_password = "wrong";
  EXPECT_EQ(Get(r, &credentials).open, http::kUnauthorized);
  credentials.proxy_user_name = nullptr;
  credentials.proxy_password = nullptr;
  EXPECT_EQ(Get(r, &credentials).open, http::kUnauthorized);
  EXPECT_EQ(origin.Requests().size(), 1u);
}

TEST(HttpProxy, HttpsThroughTinyproxyTunnelsThenRefusesTls) {
  ScriptedServer origin({});
  RealProxy proxy("", "");
  ASSERT_TRUE(origin.running());
  ASSERT_TRUE(proxy.running());
  http::CHTTPRequest r = Direct(origin, "/");
  r.tls = 1;
  r.proxy_host = "127.0.0.1";
  r.proxy_port = proxy.port();
  EXPECT_EQ(Get(r).open, http::kTlsUnsupported);
  r.proxy_host = nullptr;
  EXPECT_EQ(Get(r).open, http::kTlsUnsupported);
}

}  // namespace

namespace {

using namespace certhttp_test;

TEST(HttpAddresses, TryEachAddressSendsTheNumericHost) {
  ScriptedServer server({Reply(Response("HTTP/1.1 200 OK", "each"))});
  ASSERT_TRUE(server.running());
  http::CHTTPRequest r = Direct(server, "/e");
  r.host = "localhost";
  r.try_each_address = 1;
  const Fetch f = Get(r);
  EXPECT_EQ(f.open, http::kOk);
  EXPECT_EQ(f.body, "each");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_NE(requests[0].raw.find("\r\nHost: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"),
            std::string::npos)
      << requests[0].raw;
}

}  // namespace
