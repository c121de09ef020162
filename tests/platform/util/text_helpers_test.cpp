#include "platform/util/text_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Tokens(std::string text, const char* delimiters, char quote) {
  std::vector<std::string> tokens;
  QuotedTokenState state;
  for (char* t = StrTokenizeQuoted(text.data(), delimiters, quote, &state); t != nullptr;
       t = StrTokenizeQuoted(nullptr, delimiters, quote, &state)) {
    tokens.emplace_back(t);
  }
  return tokens;
}

using Strings = std::vector<std::string>;

TEST(StrTokenizeQuoted, QuotesKeepDelimitersTogether) {
  const struct {
    const char* name;
    const char* text;
    const char* delimiters;
    Strings tokens;
  } kCases[] = {
      {"plain", "a,b,,c", ",", {"a", "b", "c"}},
      {"leading and trailing delimiters", ",,a,", ",", {"a"}},
      {"empty", "", ",", {}},
      {"only delimiters", ",,,", ",", {}},
      // A quote that is not a delimiter stays in the token.
      {"comma list", "a=\"x,y\",b=2", ",", {"a=\"x,y\"", "b=2"}},
      // The Digest parser's split of one parameter: the quote is a delimiter.
      {"digest parameter", "realm=\"a b, c\"", " =\"", {"realm", "a b, c"}},
      {"empty quoted value", "nonce=\"\" x", " =\"", {"nonce", "", "x"}},
      {"unclosed quote runs to the end", "a \"b c", " \"", {"a", "b c"}},
  };
  for (const auto& c : kCases) EXPECT_EQ(Tokens(c.text, c.delimiters, '"'), c.tokens) << c.name;
}

TEST(StrTokenizeQuoted, DigestHeaderInTwoPasses) {
  std::string header = "username=\"Mufasa\", realm=\"a, b\", qop=auth";
  EXPECT_EQ(Tokens(header, ",", '"'),
            (Strings{"username=\"Mufasa\"", " realm=\"a, b\"", " qop=auth"}));
}

TEST(StrTokenizeQuoted, NullArgumentsAndStateAtEnd) {
  char text[] = "a";
  QuotedTokenState state;
  EXPECT_EQ(StrTokenizeQuoted(text, nullptr, '"', &state), nullptr);
  EXPECT_EQ(StrTokenizeQuoted(text, ",", '"', nullptr), nullptr);
  EXPECT_STREQ(StrTokenizeQuoted(text, ",", '"', &state), "a");
  EXPECT_EQ(state.next, text + 1);  // at the NUL
  EXPECT_EQ(StrTokenizeQuoted(nullptr, ",", '"', &state), nullptr);
  EXPECT_EQ(StrTokenizeQuoted(nullptr, ",", '"', &state), nullptr);
}

TEST(StrRStr, LastOccurrence) {
  const char* text = "abcabcaaa";
  EXPECT_EQ(StrRStr(text, "abc"), text + 3);
  EXPECT_EQ(StrRStr(text, "aa"), text + 7);  // overlapping occurrences
  EXPECT_EQ(StrRStr(text, "a"), text + 8);
  EXPECT_EQ(StrRStr(text, ""), text + 9);
  EXPECT_EQ(StrRStr(text, "abd"), nullptr);
  EXPECT_EQ(StrRStr("ab", "abc"), nullptr);
  EXPECT_EQ(StrRStr(nullptr, "a"), nullptr);
  EXPECT_EQ(StrRStr(text, nullptr), nullptr);
}

TEST(StrEndsWith, CaseSensitiveAndFolded) {
  const struct {
    const char* text;
    const char* suffix;
    bool exact;
    bool folded;
  } kCases[] = {
      {"em001.dat.old", ".old", true, true},
      {"EM001.DAT.OLD", ".old", false, true},
      {"x.nup", "", true, true},
      {"", "", true, true},
      {"ab", "abc", false, false},
      {"file.pic", ".nup", false, false},
      {"\xC9.X", "\xE9.x", false, false},  // only A-Z fold
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(StrEndsWith(c.text, c.suffix), c.exact) << c.text << " " << c.suffix;
    EXPECT_EQ(StrEndsWithNoCase(c.text, c.suffix), c.folded) << c.text << " " << c.suffix;
    EXPECT_EQ(StrEndsWithEx(c.text, c.suffix, true), c.exact);
    EXPECT_EQ(StrEndsWithEx(c.text, c.suffix, false), c.folded);
  }
  EXPECT_FALSE(StrEndsWith(nullptr, "a"));
  EXPECT_FALSE(StrEndsWithNoCase("a", nullptr));
}

TEST(ParseDecimal, WholeUnsignedThirtyTwoBitNumbersOnly) {
  const struct {
    const char* text;
    bool ok;
    uint32_t value;
  } kCases[] = {
      {"0", true, 0},
      {"42", true, 42},
      {"007", true, 7},
      {"4294967295", true, 0xFFFFFFFF},
      {"4294967296", false, 0},  // one past 32 bits: refused, not wrapped to 0
      {"18446744073709551615", false, 0},
      {"99999999999999999999999", false, 0},
      {"", false, 0},
      {"-1", false, 0},
      {"+1", false, 0},
      {" 1", false, 0},
      {"1 ", false, 0},
      {"12a", false, 0},
      {"0x10", false, 0},
  };
  for (const auto& c : kCases) {
    uint32_t value = 12345;
    EXPECT_EQ(ParseDecimal(c.text, &value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.value : 12345u) << c.text;
  }
  uint32_t value = 0;
  EXPECT_FALSE(ParseDecimal(nullptr, &value));
}

}  // namespace
