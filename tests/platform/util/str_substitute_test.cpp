#include "platform/util/str_substitute.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TokenCase {
  const char* name;
  const char* text;
  size_t size;
  const char* list;
  int result;
  const char* expected;
};

TEST(StrReplaceTokens, ReplacesEveryOccurrence) {
  const TokenCase cases[] = {
      {"each_occurrence", "aXbX", 32, "X=12", 1, "a12b12"},
      {"cut_to_buffer", "aXbX", 5, "X=12", 0, "a1b1"},
      {"several_items", "${A}/${B}", 32, "${A}=one|${B}=two", 1, "one/two"},
      {"shorter_value", "[long-name]x", 32, "[long-name]=s", 1, "sx"},
      {"empty_value", "aXb", 32, "X=", 1, "ab"},
      {"absent_name", "abc", 32, "X=1", 1, "abc"},
      {"stops_at_item_without_equals", "XY", 32, "X=1|junk|Y=2", 1, "1Y"},
      {"value_holds_its_name", "aXb", 32, "X=XX", 1, "aXXb"},
      {"value_holds_name_twice", "XX", 32, "X=aXa", 1, "aXaaXa"},
      {"last_byte_only", "abcX", 5, "X=12", 0, "abc1"},
      {"empty_name_ignored", "abc", 32, "=zz|b=B", 1, "aBc"},
  };
  for (const auto& c : cases) {
    std::vector<char> buffer(c.size + 8, '#');
    std::string(c.text).copy(buffer.data(), std::string(c.text).size());
    buffer[std::string(c.text).size()] = 0;
    EXPECT_EQ(StrReplaceTokens(buffer.data(), c.size, c.list), c.result) << c.name;
    EXPECT_STREQ(buffer.data(), c.expected) << c.name;
    for (size_t i = c.size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << c.name;
  }
}

TEST(StrReplaceTokens, CutsNamesAndValuesTo255) {
  const std::string long_value(300, 'v');
  std::vector<char> buffer(1024);
  std::string("[X]").copy(buffer.data(), 3);
  EXPECT_EQ(StrReplaceTokens(buffer.data(), buffer.size(), ("[X]=" + long_value).c_str()), 1);
  EXPECT_EQ(std::string(buffer.data()), std::string(255, 'v'));
}

TEST(StrReplaceTokens, NullList) {
  char b[8] = "X";
  EXPECT_EQ(StrReplaceTokens(b, sizeof b, nullptr), 0);
  EXPECT_STREQ(b, "X");
}

TEST(PercentDecodeToWide, DecodesBothFormsAndKeepsMalformedOnes) {
  struct Case {
    const char* text;
    size_t length;
    size_t count;
    std::wstring expected;
  };
  const Case cases[] = {
      {"%41%u00e9%zz", SIZE_MAX, 32, L"A\u00e9%zz"},
      {"%U20AC%4a", SIZE_MAX, 32, L"\u20acJ"},
      {"%u12", SIZE_MAX, 32, L"%u12"},      // four-digit form needs six bytes
      {"%4", SIZE_MAX, 32, L"%4"},          // two-digit form needs three
      {"%u004", SIZE_MAX, 32, L"%u004"},    // too short for %uXXXX, and "u0" is not hex
      {"%41", 2, 32, L"%4"},                // length bounds the input
      {"\xe9+", SIZE_MAX, 32, L"\u00e9+"},  // other bytes as unsigned values
      {"abcdef", SIZE_MAX, 4, L"abc"},
      {"%", SIZE_MAX, 32, L"%"},
  };
  for (const auto& c : cases) {
    std::vector<wchar_t> out(c.count + 2, L'#');
    const size_t n = PercentDecodeToWide(c.text, c.length, out.data(), c.count);
    EXPECT_EQ(std::wstring(out.data(), n), c.expected) << c.text;
    EXPECT_EQ(out[n], 0) << c.text;
    EXPECT_EQ(out[c.count], L'#') << c.text;
  }
  wchar_t untouched = L'#';
  EXPECT_EQ(PercentDecodeToWide("abc", SIZE_MAX, &untouched, 0), 0u);
  EXPECT_EQ(untouched, L'#');
}

}  // namespace
