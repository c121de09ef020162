#include "updater/engine/servers/server_tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace upd::test {
namespace {

using Tokens = std::vector<std::pair<std::string, uint32_t>>;

Tokens Parse(std::string_view text) {
  Tokens tokens;
  for (const ServerToken& token : ParseServerTokens(text)) {
    tokens.emplace_back(std::string(token.server), token.weight);
  }
  return tokens;
}

TEST(ServerTokens, SeparatorsWeightsAndPlainServers) {
  const struct {
    const char* name;
    std::string text;
    Tokens expected;
  } cases[] = {
      {"mixed separator runs",
       "3@http://a/ , http://b/;http://c/",
       {{"http://a/", 3}, {"http://b/", 1}, {"http://c/", 1}}},
      {"tabs and leading, trailing separators", "\t;, a\t\tb ;,", {{"a", 1}, {"b", 1}}},
      {"empty weight is 0", "@srv", {{"srv", 0}}},
      {"weight without server", "7@", {{"", 7}}},
      {"zero weight", "0@srv", {{"srv", 0}}},
      {"a user in the URL is no weight", "http://user@host/", {{"http://user@host/", 1}}},
      {"weight and a user", "2@http://user@host/", {{"http://user@host/", 2}}},
      {"digits then text before the @", "12x@srv", {{"12x@srv", 1}}},
      {"weight past 32 bits stays at the top", "99999999999@srv", {{"srv", 0xFFFFFFFFu}}},
      {"largest 32-bit weight", "4294967295@srv", {{"srv", 0xFFFFFFFFu}}},
      {"nothing but separators", " ,;\t", {}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.text), c.expected) << c.name;
  }
}

// A value is read up to its limit; a token that crosses the limit is cut
// there and nothing after it is read.
TEST(ServerTokens, TextBeyondTheLimitIsIgnored) {
  std::string text(kMaxServerListText - 3, ' ');
  text += "abcdef ghi";
  EXPECT_EQ(Parse(text), (Tokens{{"abc", 1}}));
}

TEST(ServerTokens, TokenCountStaysWithinTheStoredBound) {
  std::string text;
  while (text.size() < kMaxServerListText + 100) text += "a,";
  EXPECT_EQ(ParseServerTokens(text).size(), kMaxServerTokens);
}

}  // namespace
}  // namespace upd::test
