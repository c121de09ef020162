#include "net/http/http_request_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/util/update_errors.h"

namespace {

TEST(HttpRequestText, ServerHostsAndPorts) {
  struct Case {
    const char* host;
    const char* name;
    uint32_t port;
  };
  const Case kCases[] = {
      {"example.org", "example.org", 80},
      {"example.org:8080", "example.org", 8080},
      {"[::1]:8080", "[::1]", 8080},
      {"[::1]", "[::1]", 80},
      {"[::1]:", "[::1]:", 80},
      {"[::1]x8080", "[::1]x8080", 80},
      {"[::1", "[::1", 80},
      {"host:http", "host:http", 80},  // not a number: all of it is the name
      {"host:80x", "host:80x", 80},
      {"host:0", "host:0", 80},
      {"host:65536", "host:65536", 80},
      {"host:65535", "host", 65535},
      {"2001:db8::1", "2001:db8::1", 80},  // a bare IPv6 literal has no port
      {"1:2", "1", 2},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.host);
    const HttpServerAddress address = ParseServerHost(c.host, 80);
    EXPECT_EQ(address.name, c.name);
    EXPECT_EQ(address.port, c.port);
  }
  EXPECT_EQ(ParseServerHost("secure.example", 443).port, 443u);
}

HttpRequestTexts Format(const HttpRequestParams& params, const HttpRequestContext& context = {}) {
  HttpRequestTexts texts;
  EXPECT_EQ(FormatRequestTexts(params, context, &texts), kUpdOk);
  return texts;
}

TEST(HttpRequestText, PostKinds) {
  HttpRequestParams params;
  params.host = "h:81";
  params.path = "/dir name/";
  params.file = "f.nup";
  HttpRequestContext context;
  context.user_agent = "UA";
  context.keep_alive = false;
  context.server_user = "us er";
  context.server_password = "p/w&x";

  params.kind = kHttpKindLoginPost;
  const HttpRequestTexts login = Format(params, context);
  const std::string form =
      "file=%2Fdir%20name%2Ff.nup&dir=%2Fdir%20name%2F&username=us%20er&password=p%2Fw&x&"
      "B1=Download";
  EXPECT_EQ(login.body, form);
  EXPECT_EQ(login.method, HttpMethod::kPost);
  EXPECT_EQ(login.request,
            "POST /cgi-bin/download.cgi?/dir name/f.nup HTTP/1.1\r\nAccept: */*\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\nUser-Agent: UA\r\nHost: h:81\r\n"
            "Content-Length: " +
                std::to_string(form.size()) +
                "\r\nConnection: close\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n");

  params.kind = kHttpKindFormPost;
  params.body = "a=1&b=2";
  context.absolute_target = true;
  const HttpRequestTexts formed = Format(params, context);
  EXPECT_EQ(formed.body, "a=1&b=2");
  EXPECT_EQ(formed.request,
            "POST http://h:81/dir name/f.nup HTTP/1.1\r\nAccept: */*\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\nUser-Agent: UA\r\nHost: h:81\r\n"
            "Content-Length: 7\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
            "Connection: close\r\n");

  params.kind = kHttpKindOctetPost;
  params.body = std::string_view("\0\1\2", 3);
  context.absolute_target = false;
  context.keep_alive = true;
  const HttpRequestTexts octets = Format(params, context);
  EXPECT_EQ(octets.body, std::string("\0\1\2", 3));
  EXPECT_NE(octets.request.find("Content-Type: application/octet-stream\r\n"), std::string::npos);
  EXPECT_NE(octets.request.find("Content-Length: 3\r\n"), std::string::npos);
  EXPECT_NE(octets.request.find("Connection: Keep-Alive\r\n"), std::string::npos);
  EXPECT_TRUE(octets.head.empty());
}

TEST(HttpRequestText, RangeOnlyOnTheGetAndNeverFromZero) {
  HttpRequestParams params;
  params.host = "h";
  params.path = "/";
  params.file = "f";
  params.range_start = 0;
  params.range_end = 99;
  EXPECT_EQ(Format(params).request.find("Range:"), std::string::npos);
  params.range_start = 5;
  const HttpRequestTexts ranged = Format(params);
  EXPECT_NE(ranged.request.find("Range: bytes=5-99\r\n"), std::string::npos);
  EXPECT_EQ(ranged.head.find("Range:"), std::string::npos);
}

TEST(HttpRequestText, RefusesKindsAndTextsItCannotSendWhole) {
  HttpRequestParams params;
  params.host = "h";
  HttpRequestTexts texts;
  params.kind = 4;
  EXPECT_EQ(FormatRequestTexts(params, {}, &texts), kUpdBadRequestKind);
  params.kind = kHttpKindGet;

  const std::string long_host(kHttpMaxHostText + 1, 'h');
  const std::string long_validator(kHttpMaxValidatorText + 1, 'v');
  using Change = std::function<void(HttpRequestParams&, HttpRequestContext&)>;
  const std::pair<const char*, Change> kRefused[] = {
      {"long host", [&](HttpRequestParams& p, HttpRequestContext&) { p.host = long_host; }},
      {"long If-None-Match",
       [&](HttpRequestParams& p, HttpRequestContext&) { p.if_none_match = long_validator; }},
      {"long If-Modified-Since",
       [&](HttpRequestParams& p, HttpRequestContext&) { p.if_modified_since = long_validator; }},
      {"long domain",
       [&](HttpRequestParams& p, HttpRequestContext&) { p.domain = long_validator; }},
      {"forged line in the file",
       [](HttpRequestParams& p, HttpRequestContext&) { p.file = "f\r\nX-Forged: 1"; }},
      {"line feed in the domain",
       [](HttpRequestParams& p, HttpRequestContext&) { p.domain = "d\nx"; }},
      {"forged User-Agent",
       [](HttpRequestParams&, HttpRequestContext& c) { c.user_agent = "UA\r\nX: 1"; }},
      {"carriage return in the user",
       [](HttpRequestParams&, HttpRequestContext& c) { c.server_user = "u\r"; }},
  };
  for (const auto& [name, change] : kRefused) {
    SCOPED_TRACE(name);
    HttpRequestParams p = params;
    HttpRequestContext c;
    change(p, c);
    EXPECT_EQ(FormatRequestTexts(p, c, &texts), kUpdInvalidArgument);
  }
}

}  // namespace
