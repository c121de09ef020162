#include "net/http/http_head.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http/http_challenge.h"
#include "platform/util/update_errors.h"

namespace {

using Effect = HttpHeadParser::LineEffect;

// Runs a status line and header lines through a parser; the record and the
// parser's verdicts come back.
struct Parsed {
  _HTTP_RESPONSE_INFO response{};
  bool started = false;
  std::vector<Effect> effects;
  bool finished = false;
  UPD_ERROR result = 0;
  bool keep_alive = false;
};

Parsed Parse(const std::string& status_line, const std::vector<std::string>& lines,
             HttpMethod method = HttpMethod::kGet, bool post_with_body = false) {
  Parsed parsed;
  HttpHeadParser parser(parsed.response, post_with_body);
  parsed.started = parser.Start(status_line);
  for (const std::string& line : lines) parsed.effects.push_back(parser.Apply(line));
  parsed.finished = parser.Finish(method);
  parsed.result = parser.result();
  parsed.keep_alive = parser.keep_alive();
  return parsed;
}

TEST(HttpHead, StatusLines) {
  struct Case {
    std::string line;
    std::optional<uint32_t> status;
  };
  const Case kCases[] = {
      {"HTTP/1.1 200 OK", 200},
      {"HTTP/1.1 200", 200},  // no reason phrase
      {"HTTP/1.0 404 Not Found", 404},
      {"HTTP/1.1  503 busy", 503},
      {"HTTP/1.1 ", std::nullopt},  // no status number
      {"HTTP/1.1 OK", std::nullopt},
      {"HTTP/1.1", std::nullopt},
      {"HTTP/2 200", std::nullopt},
      {"http/1.1 200 OK", std::nullopt},
      {"ICY 200 OK", std::nullopt},
      {"HTTP/1.1 099 low", std::nullopt},
      {"HTTP/1.1 1000 high", std::nullopt},
      {"HTTP/1.1 99999999999999999999999 OK", std::nullopt},
      {"", std::nullopt},
      // The reason phrase is never used, but a status line keeps its limit.
      {"HTTP/1.1 200 " + std::string(kHttpMaxStatusLineBytes - 13, 'r'), 200},
      {"HTTP/1.1 200 " + std::string(kHttpMaxStatusLineBytes - 12, 'r'), std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line.substr(0, 40));
    _HTTP_RESPONSE_INFO response{};
    HttpHeadParser parser(response, false);
    EXPECT_EQ(parser.Start(c.line), c.status.has_value());
    EXPECT_EQ(response.status, c.status.value_or(0));
  }
}

TEST(HttpHead, HeaderValuesAreTheFirstWordAfterANameOfAnyCase) {
  struct Case {
    const char* line;
    const char* etag;
    Effect effect;
  };
  const Case kCases[] = {
      {"ETag: \"abc\" trailing", "\"abc\"", Effect::kNone},
      {"etag:\t\tW/\"x\"", "W/\"x\"", Effect::kNone},
      {"ETag:", "", Effect::kNone},
      {"X-ETag: a", "", Effect::kNone},
      {"ETa", "", Effect::kMalformed},  // no header line at all
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    const Parsed p = Parse("HTTP/1.1 200 OK", {c.line});
    EXPECT_STREQ(p.response.etag, c.etag);
    EXPECT_EQ(p.effects[0], c.effect);
  }
}

TEST(HttpHead, StrongestChallengeWinsInEitherOrder) {
  const std::string basic = "WWW-Authenticate: Basic realm=\"r\"";
  const std::string sha256 = "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256";
  for (const auto& order : {std::vector<std::string>{basic, sha256}, {sha256, basic}}) {
    const Parsed p = Parse("HTTP/1.1 401 Unauthorized", order);
    EXPECT_EQ(p.result, kUpdAccessDenied);
    EXPECT_EQ(p.response.auth_scheme, kHttpAuthDigestSha256);
    EXPECT_EQ(p.response.challenge, "realm=\"r\", nonce=\"n\", algorithm=SHA-256");
  }
  // A challenge for the proxy counts only in a 407, and the other way round.
  EXPECT_EQ(Parse("HTTP/1.1 401 x", {"Proxy-Authenticate: Basic realm=p"}).response.auth_scheme,
            kHttpAuthNone);
  const Parsed proxy = Parse("HTTP/1.1 407 x", {"Proxy-Authenticate:  Basic realm=p"});
  EXPECT_EQ(proxy.result, kUpdProxyAuthRequired);
  EXPECT_EQ(proxy.response.auth_scheme, kHttpAuthBasic);
  EXPECT_EQ(proxy.response.challenge, "realm=p");
}

TEST(HttpHead, DigestAlgorithms) {
  struct Case {
    const char* value;
    uint32_t scheme;
  };
  const Case kCases[] = {
      {"Digest realm=\"r\", nonce=\"n\"", kHttpAuthDigestMd5},
      {"digest algorithm=MD5-sess, realm=\"r\"", kHttpAuthDigestMd5},
      {"Digest realm=\"a, algorithm=SHA-256\", algorithm=\"sha-512-256\"",
       kHttpAuthDigestSha512_256},
      {"Digest algorithm=SHA-256-sess", kHttpAuthDigestSha256},
      {"Digest realm=\"r\", algorithm=SHA-1", kHttpAuthNone},  // unknown: no scheme
      {"Basic realm=\"r\"", kHttpAuthNone},
      {"Negotiate", kHttpAuthNone},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(PickDigestAlgorithm(c.value), c.scheme);
  }
  EXPECT_EQ(
      Parse("HTTP/1.1 401 x", {"WWW-Authenticate: Digest algorithm=SHA-1"}).response.auth_scheme,
      kHttpAuthNone);
}

TEST(HttpHead, ChallengeParametersKeepQuotedCommas) {
  std::vector<std::pair<std::string, std::string>> seen;
  auto record = [&](std::string_view name, std::string_view value) {
    seen.emplace_back(name, value);
    return true;
  };
  EXPECT_TRUE(ForEachChallengeParam(
      "realm=\"a, b\", nonce=n1= ,qop=\"auth,auth-int\", stale, opaque=\"x=y, z\",,", record));
  const std::vector<std::pair<std::string, std::string>> expected = {{"realm", "a, b"},
                                                                     {"nonce", "n1="},
                                                                     {"qop", "auth,auth-int"},
                                                                     {"stale", ""},
                                                                     {"opaque", "x=y, z"}};
  EXPECT_EQ(seen, expected);
}

// Parameters are read as RFC 9110 writes them: quoted strings of any length
// with their quoted-pairs, and a list that ends where the next challenge
// begins.
TEST(HttpHead, ChallengeParametersAreQuotedStrings) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const std::string long_nonce(5000, 'n');
  struct Case {
    const char* name;
    std::string parameters;
    bool parsed;
    Pairs expected;
  };
  const Case kCases[] = {
      {"escaped quote", "realm=\"say \\\"hi\\\"\", nonce=\"n\"", true,
       {{"realm", "say \"hi\""}, {"nonce", "n"}}},
      {"escaped backslash and letter", "realm=\"a\\\\b\\c\"", true, {{"realm", "a\\bc"}}},
      {"blanks around '='", "realm = \"r\" , nonce =n", true, {{"realm", "r"}, {"nonce", "n"}}},
      {"long quoted value", "nonce=\"" + long_nonce + "\", qop=auth", true,
       {{"nonce", long_nonce}, {"qop", "auth"}}},
      {"stops at the next challenge", "realm=\"a\", Basic realm=\"b\"", true, {{"realm", "a"}}},
      {"unclosed quote", "realm=\"r, nonce=n", false, {}},
      {"text after a quoted value", "realm=\"r\"x, nonce=n", false, {}},
      {"control character in a quoted value", "realm=\"a\x01\", nonce=n", false, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Pairs seen;
    const bool parsed =
        ForEachChallengeParam(c.parameters, [&](std::string_view name, std::string_view value) {
          seen.emplace_back(name, value);
          return true;
        });
    EXPECT_EQ(parsed, c.parsed);
    if (c.parsed) {
      EXPECT_EQ(seen, c.expected);
    }
  }
  EXPECT_EQ(PickDigestAlgorithm("Digest algorithm=SHA-256, realm=\"" + long_nonce + "\""),
            kHttpAuthDigestSha256);
  EXPECT_EQ(PickDigestAlgorithm("Digest realm=\"r, algorithm=SHA-256"), kHttpAuthNone);
}

// One field may carry several challenges; the strongest of all the lines
// is recorded, its parameters as they stand.
TEST(HttpHead, ChallengeListsInOneField) {
  struct Case {
    const char* name;
    std::string value;
    uint32_t scheme;
    std::string challenge;
  };
  const Case kCases[] = {
      {"Basic then Digest", "Basic realm=\"a\", Digest realm=\"b\", nonce=\"n\", algorithm=SHA-256",
       kHttpAuthDigestSha256, "realm=\"b\", nonce=\"n\", algorithm=SHA-256"},
      {"Digest then Basic", "Digest realm=\"b, c\", nonce=\"n\", Basic realm=\"a\"",
       kHttpAuthDigestMd5, "realm=\"b, c\", nonce=\"n\""},
      {"token68 first", "Negotiate YII/ab+==, Basic realm=\"a\"", kHttpAuthBasic, "realm=\"a\""},
      {"bare first item", "Digest stale, realm=\"r\", nonce=\"n\"", kHttpAuthDigestMd5,
       "stale, realm=\"r\", nonce=\"n\""},
      {"escaped realm kept escaped", "Digest realm=\"say \\\"hi\\\"\", nonce=\"n\"",
       kHttpAuthDigestMd5, "realm=\"say \\\"hi\\\"\", nonce=\"n\""},
      // Challenges before a malformed one stand.
      {"malformed after Basic", "Basic realm=\"a\", Digest realm=\"b", kHttpAuthBasic,
       "realm=\"a\""},
      {"malformed Digest", "Digest realm=\"b", kHttpAuthNone, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Parsed p = Parse("HTTP/1.1 401 x", {"WWW-Authenticate: " + c.value});
    EXPECT_EQ(p.response.auth_scheme, c.scheme);
    EXPECT_EQ(p.response.challenge, c.challenge);
  }
}

// A challenge of any length up to its own limit is recorded; past it, it
// cannot be answered and is not recorded.
TEST(HttpHead, LongChallengesUpToTheirLimit) {
  for (const size_t length : {size_t{1024}, size_t{60000}, kHttpMaxChallengeBytes,
                              kHttpMaxChallengeBytes + 1}) {
    SCOPED_TRACE(length);
    const std::string head = "realm=\"r\", nonce=\"n\", opaque=\"";
    const std::string parameters = head + std::string(length - head.size() - 1, 'o') + "\"";
    const Parsed p = Parse("HTTP/1.1 401 x", {"WWW-Authenticate: Digest " + parameters});
    const bool kept = length <= kHttpMaxChallengeBytes;
    EXPECT_EQ(p.response.auth_scheme, kept ? kHttpAuthDigestMd5 : kHttpAuthNone);
    EXPECT_EQ(p.response.challenge.size(), kept ? length : 0);
  }
}

TEST(HttpHead, ConnectionDecidesKeepAlive) {
  EXPECT_TRUE(Parse("HTTP/1.1 200 OK", {"Connection: keep-alive"}).keep_alive);
  EXPECT_FALSE(Parse("HTTP/1.1 200 OK", {"Connection: CLOSE"}).keep_alive);
  EXPECT_FALSE(Parse("HTTP/1.1 200 OK", {"connection: close"}).keep_alive);
  EXPECT_FALSE(Parse("HTTP/1.1 200 OK", {}).keep_alive);
}

TEST(HttpHead, RecordsValidatorsEncodingAndRedirects) {
  const Parsed p = Parse("HTTP/1.1 200 OK", {"ETag: \"5f-1\"", "Last-Modified: \tMon, 01 Jan 2024",
                                             "Content-Encoding: GZIP", "X-Bypass-Cache: 1"});
  EXPECT_STREQ(p.response.etag, "\"5f-1\"");
  EXPECT_STREQ(p.response.last_modified, "Mon, 01 Jan 2024");
  EXPECT_EQ(p.response.content_encoding, kHttpEncodingGzip);
  EXPECT_EQ(p.response.bypass_cache, 1u);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK", {"Content-Encoding: deflate"}).response.content_encoding,
            kHttpEncodingDeflate);
  // Bypass counts only in a 200.
  EXPECT_EQ(Parse("HTTP/1.1 206 x", {"X-Bypass-Cache: 1"}).response.bypass_cache, 0u);

  const Parsed moved = Parse("HTTP/1.1 302 Found", {"Location:  http://b/x"});
  EXPECT_EQ(moved.result, kUpdRedirect);
  EXPECT_STREQ(moved.response.location, "http://b/x");
  // A redirect without a usable Location is a redirect nobody can follow
  // (its body is not the file), with its status.
  const Parsed bare = Parse("HTTP/1.1 301 Moved", {});
  EXPECT_EQ(bare.result, kUpdUnsupportedScheme);
  EXPECT_EQ(bare.response.status, 301u);
  // Location of another status is not a redirect.
  EXPECT_EQ(Parse("HTTP/1.1 200 OK", {"Location: /x"}).result, kUpdOk);
}

TEST(HttpHead, ARedirectLeadsOnlyWhereAUsableLocationSays) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    UPD_ERROR result;
    const char* location;
  };
  const std::string longest(kHttpLocationSize - 1, 'l');
  const Case kCases[] = {
      {"relative", {"Location: /next/f.bin"}, kUpdRedirect, "/next/f.bin"},
      {"blanks around", {"Location: \t http://b/x \t"}, kUpdRedirect, "http://b/x"},
      {"as long as the field takes", {"Location: " + longest}, kUpdRedirect, longest.c_str()},
      {"no Location", {"Content-Length: 0"}, kUpdUnsupportedScheme, ""},
      {"empty", {"Location:"}, kUpdUnsupportedScheme, ""},
      {"blanks only", {"Location:  \t "}, kUpdUnsupportedScheme, ""},
      {"longer than the field", {"Location: " + longest + "l"}, kUpdUnsupportedScheme, ""},
      {"space inside", {"Location: /a b"}, kUpdUnsupportedScheme, ""},
      {"control character", {std::string("Location: /a\x01b")}, kUpdUnsupportedScheme, ""},
      {"delete character", {std::string("Location: /a\x7F")}, kUpdUnsupportedScheme, ""},
      {"a usable one after a bad one", {"Location: ", "Location: /x"}, kUpdRedirect, "/x"},
      {"a bad one after a usable one", {"Location: /x", "Location: "}, kUpdRedirect, "/x"},
  };
  for (const uint32_t status : {301u, 302u, 307u, 308u}) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::to_string(status) + " " + c.name);
      const Parsed p = Parse("HTTP/1.1 " + std::to_string(status) + " Moved", c.lines);
      EXPECT_EQ(p.result, c.result);
      EXPECT_STREQ(p.response.location, c.location);
      EXPECT_EQ(p.response.status, status);
    }
  }
}

TEST(HttpHead, TooLongValuesAreNotRecordedCut) {
  const std::string long_tag(kHttpValidatorSize, 'e');
  const std::string long_location(kHttpLocationSize, 'l');
  const Parsed p = Parse("HTTP/1.1 302 Found", {"ETag: " + long_tag, "Last-Modified: " + long_tag,
                                                "Location: " + long_location});
  EXPECT_STREQ(p.response.etag, "");
  EXPECT_STREQ(p.response.last_modified, "");
  EXPECT_STREQ(p.response.location, "");
  const std::string fits(kHttpValidatorSize - 1, 'e');
  EXPECT_EQ(Parse("HTTP/1.1 200 OK", {"ETag: " + fits}).response.etag, fits);
}

// A Location is recorded when it can be followed: a URI reference that
// fits the record and would not break the request line it goes into. A
// redirect without one is a redirect the session cannot follow.
TEST(HttpHead, LocationsThatCannotBeFollowedAreNone) {
  struct Case {
    const char* location;
    bool followed;
  };
  const Case kCases[] = {
      {"http://b/x", true},      {"/x?y=1#top", true},       {"//h:8080/x", true},
      {"x/y", true},             {"http:\\\\h\\x", true},  {"https://[::1]:8443/x", true},
      {"x y", false},            {"http://u:p@h/x", false}, {"http://h:99999/x", false},
      {"http://[::1/x", false},  {"http://h:8o/x", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.location);
    const Parsed p = Parse("HTTP/1.1 302 Found", {std::string("Location: ") + c.location});
    EXPECT_EQ(p.effects[0], Effect::kNone);
    EXPECT_EQ(p.result, c.followed ? kUpdRedirect : kUpdUnsupportedScheme);
    EXPECT_STREQ(p.response.location, c.followed ? c.location : "");
  }
}

// A header the client does not use passes whatever its length; one that
// frames or decodes the body keeps its limit, and the head is refused past
// it.
TEST(HttpHead, HeadersOfAnyLengthAndTheLimitsOfThoseActedOn) {
  const std::string filler(kHttpMaxFramingValueBytes, 'x');
  struct Case {
    std::string line;
    Effect effect;
  };
  const Case kCases[] = {
      {"Set-Cookie: " + std::string(200 * 1024, 'c'), Effect::kNone},
      {"X-Policy: " + std::string(5000, 'p'), Effect::kNone},
      {"Content-Encoding: " + filler, Effect::kNone},
      {"Content-Encoding: gzip " + filler, Effect::kMalformed},
      {"Transfer-Encoding: chunked " + filler, Effect::kMalformed},
      {"Connection: close " + filler, Effect::kMalformed},
      {"Content-Range: bytes " + filler, Effect::kMalformed},
      {"Content-Type: text/plain " + filler, Effect::kMalformed},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line.substr(0, 30));
    EXPECT_EQ(Parse("HTTP/1.1 200 OK", {c.line}).effects[0], c.effect);
  }
}

// Lines that are no header line as RFC 9112 writes one are refused, never
// skipped: each is read otherwise by some other reader of the same bytes.
TEST(HttpHead, LinesThatAreNoHeaderLineAreRefused) {
  const std::string kLines[] = {
      " folded",          "\tfolded too",      "Content-Length : 5", "no colon",
      ": no name",        "X-Name(1): v",      "X-A: a\rb",          std::string("X-A: a\0b", 8),
      "X-A: a\x7f",       "X-Bypass-Cache",
  };
  for (const std::string& line : kLines) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Parse("HTTP/1.1 200 OK", {line}).effects[0], Effect::kMalformed);
  }
  // Text beyond ASCII and tabs inside a value are field content.
  EXPECT_EQ(Parse("HTTP/1.1 200 OK", {"X-A: caf\xc3\xa9\tdone"}).effects[0], Effect::kNone);
}

TEST(HttpHead, BodyFraming) {
  struct Case {
    const char* name;
    const char* status_line;
    std::vector<std::string> lines;
    HttpMethod method;
    uint8_t no_body;
    uint8_t chunked;
    uint8_t has_length;
    uint32_t length;
  };
  const Case kCases[] = {
      {"length", "HTTP/1.1 200 OK", {"Content-Length: 12"}, HttpMethod::kGet, 0, 0, 1, 12},
      {"zero is a length", "HTTP/1.1 200 OK", {"Content-Length: 0"}, HttpMethod::kGet, 0, 0, 1, 0},
      {"chunked wins over a length",
       "HTTP/1.1 200 OK",
       {"Content-Length: 50", "Transfer-Encoding: chunked"},
       HttpMethod::kGet,
       0,
       1,
       0,
       0},
      {"until close", "HTTP/1.1 200 OK", {}, HttpMethod::kGet, 0, 0, 0, 0},
      {"HEAD", "HTTP/1.1 200 OK", {"Content-Length: 99"}, HttpMethod::kHead, 1, 0, 1, 99},
      {"204", "HTTP/1.1 204 No Content", {"Content-Length: 5"}, HttpMethod::kGet, 1, 0, 1, 5},
      {"304", "HTTP/1.1 304 Not Modified", {"Content-Length: 5"}, HttpMethod::kGet, 1, 0, 1, 5},
      {"tunnel",
       "HTTP/1.1 200 Connection established",
       {"Content-Length: 5"},
       HttpMethod::kConnect,
       1,
       0,
       1,
       5},
      {"refused CONNECT has a body",
       "HTTP/1.1 403 Forbidden",
       {"Content-Length: 5"},
       HttpMethod::kConnect,
       0,
       0,
       1,
       5},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Parsed p = Parse(c.status_line, c.lines, c.method);
    EXPECT_TRUE(p.finished);
    EXPECT_EQ(p.response.no_body, c.no_body);
    EXPECT_EQ(p.response.chunked, c.chunked);
    EXPECT_EQ(p.response.has_content_length, c.has_length);
    EXPECT_EQ(p.response.content_length, c.length);
  }
}

TEST(HttpHead, UntrustworthyLengthsAreRefused) {
  EXPECT_EQ(Parse("HTTP/1.1 200 OK", {"Content-Length: 12x"}).effects[0], Effect::kMalformed);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK", {"Content-Length:"}).effects[0], Effect::kMalformed);
  EXPECT_EQ(Parse("HTTP/1.1 200 OK", {"Content-Length: -1"}).effects[0], Effect::kMalformed);
  const Parsed differing = Parse("HTTP/1.1 200 OK", {"Content-Length: 4", "Content-Length: 5"});
  EXPECT_EQ(differing.effects[1], Effect::kMalformed);
  const Parsed same = Parse("HTTP/1.1 200 OK", {"Content-Length: 4", "content-length: 4 "});
  EXPECT_EQ(same.effects[1], Effect::kNone);

  // 4 GiB or more cannot be taken, except where no body follows.
  EXPECT_FALSE(Parse("HTTP/1.1 200 OK", {"Content-Length: 4294967296"}).finished);
  EXPECT_TRUE(Parse("HTTP/1.1 200 OK", {"Content-Length: 4294967295"}).finished);
  EXPECT_TRUE(Parse("HTTP/1.1 200 OK", {"Content-Length: 4294967296"}, HttpMethod::kHead).finished);
  EXPECT_TRUE(Parse("HTTP/1.1 200 OK", {"Content-Length: 4294967296", "Transfer-Encoding: chunked"})
                  .finished);
}

TEST(HttpHead, ContentRanges) {
  struct Case {
    const char* value;
    bool valid;
    uint64_t first, last, complete;
  };
  constexpr uint64_t kStar = _HTTP_RESPONSE_INFO::kUnknownComplete;
  const Case kCases[] = {
      {"bytes 1000-1999/2000", true, 1000, 1999, 2000},
      {"bytes 0-0/*", true, 0, 0, kStar},
      {"BYTES 5-9/10", true, 5, 9, 10},
      {"bytes 9-5/10", false, 0, 0, 0},
      {"bytes 5-9/9", false, 0, 0, 0},
      {"bytes */10", false, 0, 0, 0},
      {"items 1-2/3", false, 0, 0, 0},
      {"bytes 1-2/3 x", false, 0, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    const Parsed p = Parse("HTTP/1.1 206 Partial", {std::string("Content-Range: ") + c.value});
    EXPECT_EQ(p.response.has_content_range != 0, c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(p.response.range_first, c.first);
    EXPECT_EQ(p.response.range_last, c.last);
    EXPECT_EQ(p.response.range_complete, c.complete);
  }
}

TEST(HttpHead, LoginPageOnlyForAFormAnswerOfAnUnknownType) {
  struct Case {
    const char* name;
    const char* status_line;
    std::vector<std::string> lines;
    bool post_with_body;
    Effect last;
  };
  const Case kCases[] = {
      // The charset glued to the type makes it unknown.
      {"html with charset",
       "HTTP/1.1 200 OK",
       {"Content-Type: text/html;charset=utf-8"},
       true,
       Effect::kLoginPage},
      {"octet stream",
       "HTTP/1.1 200 OK",
       {"Content-Type: application/octet-stream"},
       true,
       Effect::kLoginPage},
      {"plain text", "HTTP/1.1 200 OK", {"Content-Type: TEXT/PLAIN"}, true, Effect::kNone},
      {"not a POST", "HTTP/1.1 200 OK", {"Content-Type: text/html;x"}, false, Effect::kNone},
      {"keep-alive first",
       "HTTP/1.1 200 OK",
       {"Connection: keep-alive", "Content-Type: text/html;x"},
       true,
       Effect::kNone},
      {"name case differs", "HTTP/1.1 200 OK", {"content-type: text/html;x"}, true, Effect::kNone},
      {"not a 200", "HTTP/1.1 201 Created", {"Content-Type: text/html;x"}, true, Effect::kNone},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Parsed p = Parse(c.status_line, c.lines, HttpMethod::kPost, c.post_with_body);
    EXPECT_EQ(p.effects.back(), c.last);
  }
}

}  // namespace
