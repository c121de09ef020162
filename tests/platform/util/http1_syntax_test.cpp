#include "platform/util/http1_syntax.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// The HTTP/1.1 text both clients read: what RFC 9112 and RFC 9110 allow is
// taken, the rest refused.
namespace {

using http1::LocationFault;
using http1::LocationForm;

TEST(Http1Syntax, StatusLines) {
  struct Case {
    std::string line;
    std::optional<uint32_t> status;
    uint32_t major = 1;
    uint32_t minor = 1;
  };
  const Case kCases[] = {
      {"HTTP/1.1 200 OK", 200},
      {"HTTP/1.1 200", 200},     // no reason phrase
      {"HTTP/1.1 200 ", 200},    // an empty one
      {"HTTP/1.0 404 Not Found", 404, 1, 0},
      {"HTTP/1.1  503 busy", 503},  // blanks read as one separator
      {"HTTP/1.1\t301 x", 301},
      {"HTTP/2.0 200 OK", 200, 2, 0},
      {"HTTP/1.1 999 top", 999},
      {"HTTP/1.1 200 caf\xc3\xa9\tok", 200},
      {"HTTP/1.1 ", std::nullopt},  // no status
      {"HTTP/1.1 OK", std::nullopt},
      {"HTTP/1.1", std::nullopt},
      {"HTTP/1.1200 OK", std::nullopt},
      {"HTTP/2 200", std::nullopt},
      {"HTTP/10.1 200", std::nullopt},
      {"HTTP/1.x 200", std::nullopt},
      {"http/1.1 200 OK", std::nullopt},  // the name is case-sensitive
      {" HTTP/1.1 200 OK", std::nullopt},
      {"ICY 200 OK", std::nullopt},
      {"HTTP/1.1 099 low", std::nullopt},
      {"HTTP/1.1 20 short", std::nullopt},
      {"HTTP/1.1 1000 high", std::nullopt},
      {"HTTP/1.1 200OK", std::nullopt},
      {"HTTP/1.1 99999999999999999999999 OK", std::nullopt},
      {"HTTP/1.1 200 a\rb", std::nullopt},
      {std::string("HTTP/1.1 200 a\0b", 16), std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    const std::optional<http1::StatusLine> parsed = http1::ParseStatusLine(c.line);
    ASSERT_EQ(parsed.has_value(), c.status.has_value());
    if (!parsed) continue;
    EXPECT_EQ(parsed->status, *c.status);
    EXPECT_EQ(parsed->major, c.major);
    EXPECT_EQ(parsed->minor, c.minor);
  }
}

TEST(Http1Syntax, FieldLines) {
  struct Case {
    const char* name;
    std::string line;
    std::optional<std::pair<std::string, std::string>> field;
  };
  const Case kCases[] = {
      {"plain", "Content-Length: 12", {{"Content-Length", "12"}}},
      {"no blank", "ETag:\"x\"", {{"ETag", "\"x\""}}},
      {"white space around the value", "X-A: \t a b \t", {{"X-A", "a b"}}},
      {"empty value", "X-A:", {{"X-A", ""}}},
      {"token characters", "X!#$%&'*+-.^_`|~9: v", {{"X!#$%&'*+-.^_`|~9", "v"}}},
      {"obs-text", "X-A: caf\xc3\xa9", {{"X-A", "caf\xc3\xa9"}}},
      {"colon in the value", "Location: http://h:1/x", {{"Location", "http://h:1/x"}}},
      {"obs-fold with a blank", " continued", std::nullopt},
      {"obs-fold with a tab", "\tcontinued", std::nullopt},
      {"blank before the colon", "Content-Length : 12", std::nullopt},
      {"no colon", "X-Bypass-Cache", std::nullopt},
      {"no name", ": v", std::nullopt},
      {"separator in the name", "X/A: v", std::nullopt},
      {"name with a blank", "X A: v", std::nullopt},
      {"CR in the value", "X-A: a\rb", std::nullopt},
      {"LF in the value", "X-A: a\nb", std::nullopt},
      {"NUL in the value", std::string("X-A: a\0b", 8), std::nullopt},
      {"DEL in the value", "X-A: a\x7f", std::nullopt},
      {"empty line", "", std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::optional<http1::FieldLine> parsed = http1::ParseFieldLine(c.line);
    ASSERT_EQ(parsed.has_value(), c.field.has_value());
    if (!parsed) continue;
    EXPECT_EQ(parsed->name, c.field->first);
    EXPECT_EQ(parsed->value, c.field->second);
  }
}

TEST(Http1Syntax, ChunkSizeLines) {
  struct Case {
    std::string line;
    std::optional<uint64_t> size;
  };
  const Case kCases[] = {
      {"1a", 0x1a},
      {"0", 0},
      {"FFFFFFFF", 0xFFFFFFFFu},
      {"100000000", 0x100000000u},
      {"ffffffffffffffff", ~uint64_t{0}},
      {"00000000000000000001", 1},  // leading zeros are no bits
      {"10;name=value", 16},
      {"1a;name", 0x1a},
      {"1a ; name = value ; other=\"quoted \\\" ;x\"", 0x1a},
      {"1a\t;n=v", 0x1a},
      {"1a  ", 0x1a},  // blanks at the end, as BWS
      {"", std::nullopt},
      {"zz", std::nullopt},
      {"-1", std::nullopt},
      {"+1", std::nullopt},
      {"  7", std::nullopt},  // white space before the size is no chunk-size
      {"0x10", std::nullopt},
      {"11112222333344445", std::nullopt},  // 65 bits
      {"1a garbage", std::nullopt},
      {"1a;", std::nullopt},
      {"1a;=v", std::nullopt},
      {"1a;n=", std::nullopt},
      {"1a;n=\"open", std::nullopt},
      {"1a;n=v w", std::nullopt},
      {"1a;n=\"v\"w", std::nullopt},
      {"1a;n=\"a\x01\"", std::nullopt},
      {"1a,n=v", std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(http1::ParseChunkSizeLine(c.line), c.size);
  }
}

TEST(Http1Syntax, QuotedStringsReadAndWrittenBack) {
  struct Case {
    std::string text;
    std::optional<std::string> content;
    std::string rest;
  };
  const Case kCases[] = {
      {"\"plain\", next", "plain", ", next"},
      {"\"\"", "", ""},
      {"\"say \\\"hi\\\"\" x", "say \"hi\"", " x"},
      {"\"a\\\\b\\c\"", "a\\bc", ""},
      {"\"tab\there\"", "tab\there", ""},
      {"\"open", std::nullopt, ""},
      {"\"ends in an escape\\\"", std::nullopt, ""},
      {"\"a\rb\"", std::nullopt, ""},
      {"\"a\\\rb\"", std::nullopt, ""},  // a control character is no quoted-pair either
      {"plain", std::nullopt, ""},
      {"", std::nullopt, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    std::string_view text = c.text;
    std::string content;
    ASSERT_EQ(http1::TakeQuotedString(&text, &content), c.content.has_value());
    if (!c.content) {
      EXPECT_EQ(text, c.text);  // unchanged
      continue;
    }
    EXPECT_EQ(content, *c.content);
    EXPECT_EQ(text, c.rest);
    // Written back, it reads as the same content.
    const std::optional<std::string> quoted = http1::QuoteString(content);
    ASSERT_TRUE(quoted.has_value());
    std::string_view again = *quoted;
    std::string round;
    ASSERT_TRUE(http1::TakeQuotedString(&again, &round));
    EXPECT_EQ(round, content);
    EXPECT_TRUE(again.empty());
  }
  EXPECT_EQ(http1::QuoteString("say \"hi\" \\o/"), "\"say \\\"hi\\\" \\\\o/\"");
  EXPECT_EQ(http1::QuoteString("line\r\nX-Forged: 1"), std::nullopt);
  EXPECT_EQ(http1::QuoteString(std::string("a\0b", 3)), std::nullopt);
}

TEST(Http1Syntax, Decimals) {
  EXPECT_EQ(http1::ParseDecimal("010"), 10u);
  EXPECT_EQ(http1::ParseDecimal("18446744073709551615"), ~uint64_t{0});
  EXPECT_EQ(http1::ParseDecimal("18446744073709551616"), std::nullopt);
  for (const char* refused : {"", "-1", "+1", " 1", "1 ", "1x", "0x10", "1,1"}) {
    SCOPED_TRACE(refused);
    EXPECT_EQ(http1::ParseDecimal(refused), std::nullopt);
  }
  std::string_view text = "123-456";
  EXPECT_EQ(http1::TakeDecimal(&text), 123u);
  EXPECT_EQ(text, "-456");
  EXPECT_EQ(http1::TakeDecimal(&text), std::nullopt);
  EXPECT_EQ(text, "-456");
}

TEST(Http1Syntax, LocationForms) {
  struct Case {
    std::string value;
    LocationFault fault;
    LocationForm form = LocationForm::kRelativePath;
    std::string scheme = "";
    std::string host = "";
    std::optional<uint16_t> port = std::nullopt;
    std::string path = "";
  };
  const Case kCases[] = {
      {"http://h/x", LocationFault::kNone, LocationForm::kAbsolute, "http", "h", {}, "/x"},
      {"HTTPS://H:8443/x?q=1#frag", LocationFault::kNone, LocationForm::kAbsolute, "HTTPS", "H",
       8443, "/x?q=1"},
      {"http://h", LocationFault::kNone, LocationForm::kAbsolute, "http", "h", {}, ""},
      {"http://h?q", LocationFault::kNone, LocationForm::kAbsolute, "http", "h", {}, "?q"},
      {"http://h:/x", LocationFault::kNone, LocationForm::kAbsolute, "http", "h", {}, "/x"},
      {"http://[::1]:8080/x", LocationFault::kNone, LocationForm::kAbsolute, "http", "[::1]",
       8080, "/x"},
      {"http://h:0/", LocationFault::kNone, LocationForm::kAbsolute, "http", "h", 0, "/"},
      {"http://h:65535/", LocationFault::kNone, LocationForm::kAbsolute, "http", "h", 65535, "/"},
      {"http:///x", LocationFault::kNone, LocationForm::kAbsolute, "http", "", {}, "/x"},
      {"http://a%2Db.example/", LocationFault::kNone, LocationForm::kAbsolute, "http",
       "a%2Db.example", {}, "/"},
      {"HTTP://h:81\\new\\place", LocationFault::kNone, LocationForm::kAbsolute, "HTTP", "h", 81,
       "\\new\\place"},
      {"urn:x:y", LocationFault::kNone, LocationForm::kAbsolute, "urn", "", {}, "x:y"},
      {"//h:81/x", LocationFault::kNone, LocationForm::kNetworkPath, "", "h", 81, "/x"},
      {"\\\\srv\\share\\x", LocationFault::kNone, LocationForm::kNetworkPath, "", "srv", {},
       "\\share\\x"},
      {"/x/y?z", LocationFault::kNone, LocationForm::kAbsolutePath, "", "", {}, "/x/y?z"},
      {"x/y", LocationFault::kNone, LocationForm::kRelativePath, "", "", {}, "x/y"},
      {"./a:b", LocationFault::kNone, LocationForm::kRelativePath, "", "", {}, "./a:b"},
      {"?q", LocationFault::kNone, LocationForm::kRelativePath, "", "", {}, "?q"},
      {"#top", LocationFault::kNone, LocationForm::kRelativePath, "", "", {}, ""},
      {"", LocationFault::kEmpty},
      {"/a b", LocationFault::kBadCharacter},
      {"/a\tb", LocationFault::kBadCharacter},
      {"/a\r\nX-Forged: 1", LocationFault::kBadCharacter},
      {"/a\x7f", LocationFault::kBadCharacter},
      {"http://user:pass@h/x", LocationFault::kBadAuthority},
      {"http://[::1/x", LocationFault::kBadAuthority},
      {"http://[::1]x/", LocationFault::kBadAuthority},
      {"http://h<1>/", LocationFault::kBadAuthority},
      {"http://h%zz/", LocationFault::kBadAuthority},
      {"http://h:zz/x", LocationFault::kBadPort},
      {"http://h:65536/x", LocationFault::kBadPort},
      {"http://h:80:81/x", LocationFault::kBadPort},
      {"http://h:-1/x", LocationFault::kBadPort},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    http1::Location location;
    ASSERT_EQ(http1::ParseLocation(c.value, &location), c.fault);
    if (c.fault != LocationFault::kNone) continue;
    EXPECT_EQ(location.form, c.form);
    EXPECT_EQ(location.scheme, c.scheme);
    EXPECT_EQ(location.host, c.host);
    EXPECT_EQ(location.port, c.port);
    EXPECT_EQ(location.path, c.path);
    EXPECT_EQ(location.has_authority, c.value.find("//") != std::string::npos ||
                                          c.value.find("\\\\") != std::string::npos);
  }
}

TEST(Http1Syntax, TokensAndCase) {
  std::string_view text = "chunked, gzip";
  EXPECT_EQ(http1::TakeToken(&text), "chunked");
  EXPECT_EQ(text, ", gzip");
  EXPECT_EQ(http1::TakeToken(&text), "");
  EXPECT_TRUE(http1::EqualsNoCase("Content-Length", "CONTENT-length"));
  EXPECT_FALSE(http1::EqualsNoCase("Content-Length", "Content-Lengt"));
  // Only A to Z fold: no other byte matches another.
  EXPECT_FALSE(http1::EqualsNoCase("\xc3\xa9", "\xc3\x89"));
  EXPECT_FALSE(http1::EqualsNoCase("[", "{"));
}

}  // namespace
