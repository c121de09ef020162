#include "platform/util/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

struct CopyCase {
  const char* name;
  const char* initial;
  const char* source;
  size_t size;
  size_t count;  // for the N variants
  const char* expected;
};

// A canary after the buffer proves that nothing is written past size.
constexpr size_t kBuffer = 16;
constexpr char kCanary = '#';

std::array<char, kBuffer + 4> Prepared(const char* initial) {
  std::array<char, kBuffer + 4> b;
  b.fill(kCanary);
  std::strcpy(b.data(), initial);
  return b;
}

// Bytes past both the buffer size and the initial text must keep the canary.
void ExpectCanary(const std::array<char, kBuffer + 4>& b, size_t size, const char* initial) {
  const size_t from = std::max(size, std::strlen(initial) + 1);
  for (size_t i = from; i < b.size(); ++i) EXPECT_EQ(b[i], kCanary) << "byte " << i;
}

TEST(SafeStrCopy, CutsAndTerminates) {
  const CopyCase cases[] = {
      {"fits", "", "abc", 8, 0, "abc"},   {"exact_room", "", "abc", 4, 0, "abc"},
      {"cut", "", "abcdef", 4, 0, "abc"}, {"size_one", "", "abc", 1, 0, ""},
      {"empty_source", "", "", 4, 0, ""},
  };
  for (const auto& c : cases) {
    auto b = Prepared("zzzzzzzzzzzz");
    SafeStrCopy(b.data(), c.size, c.source);
    EXPECT_STREQ(b.data(), c.expected) << c.name;
  }
  auto b = Prepared("keep");
  EXPECT_EQ(SafeStrCopy(b.data(), 0, "abc"), b.data());
  EXPECT_STREQ(b.data(), "keep");
}

TEST(SafeWcsCopy, CutsAndTerminates) {
  wchar_t b[4] = {L'x', L'x', L'x', L'x'};
  SafeWcsCopy(b, 4, L"abcdef");
  EXPECT_STREQ(b, L"abc");
  SafeWcsCopy(b, 4, L"\u00e9");
  EXPECT_STREQ(b, L"\u00e9");
}

TEST(SafeStrCat, AppendsWhatFits) {
  const CopyCase cases[] = {
      {"fits", "ab", "cd", 8, 0, "abcd"},
      {"cut", "ab", "cdefgh", 5, 0, "abcd"},
      {"already_full", "abc", "d", 4, 0, "abc"},
      {"over_full_untouched", "abcdef", "g", 4, 0, "abcdef"},
      {"empty_into_empty", "", "", 1, 0, ""},
  };
  for (const auto& c : cases) {
    auto b = Prepared(c.initial);
    SafeStrCat(b.data(), c.size, c.source);
    EXPECT_STREQ(b.data(), c.expected) << c.name;
    ExpectCanary(b, c.size, c.initial);
  }
}

TEST(SafeWcsCat, AppendsWhatFits) {
  wchar_t b[5] = L"ab";
  SafeWcsCat(b, 5, L"cdef");
  EXPECT_STREQ(b, L"abcd");
  SafeWcsCat(b, 5, L"x");
  EXPECT_STREQ(b, L"abcd");
}

TEST(SafeStrNCopy, CopiesAtMostCount) {
  const CopyCase cases[] = {
      {"count_limits", "", "abcdef", 10, 3, "abc"},
      {"size_limits", "", "abcdef", 4, 10, "abc"},
      {"short_source", "", "ab", 10, 5, "ab"},
      {"count_zero", "", "ab", 10, 0, ""},
  };
  for (const auto& c : cases) {
    auto b = Prepared("zzzzzzzzzzzzzzz");
    SafeStrNCopy(b.data(), c.size, c.source, c.count);
    EXPECT_STREQ(b.data(), c.expected) << c.name;
  }
  // A shorter source is padded with NULs up to count, as strncpy does.
  auto b = Prepared("zzzzzzzzzzzzzzz");
  SafeStrNCopy(b.data(), 10, "ab", 6);
  for (size_t i = 2; i <= 6; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(b[7], 'z');
  auto untouched = Prepared("keep");
  SafeStrNCopy(untouched.data(), 0, "ab", 2);
  EXPECT_STREQ(untouched.data(), "keep");
}

TEST(SafeStrNCat, AppendsAtMostCount) {
  const CopyCase cases[] = {
      {"count_limits", "ab", "cdef", 10, 2, "abcd"}, {"size_limits", "ab", "cdef", 5, 10, "abcd"},
      {"count_zero", "ab", "cd", 10, 0, "ab"},       {"full", "abc", "d", 4, 1, "abc"},
      {"short_source", "a", "b", 10, 5, "ab"},
  };
  for (const auto& c : cases) {
    auto b = Prepared(c.initial);
    SafeStrNCat(b.data(), c.size, c.source, c.count);
    EXPECT_STREQ(b.data(), c.expected) << c.name;
    ExpectCanary(b, c.size, c.initial);
  }
}

TEST(SafeSnprintf, ReportsTruncation) {
  char b[8];
  EXPECT_EQ(SafeSnprintf(b, 4, "%d", 12345), 3);
  EXPECT_STREQ(b, "123");
  EXPECT_EQ(SafeSnprintf(b, sizeof b, "%d", 12345), 5);
  EXPECT_STREQ(b, "12345");
  EXPECT_EQ(SafeSnprintf(b, 6, "%d", 12345), 5);
  EXPECT_EQ(SafeSnprintf(b, 5, "%d", 12345), 4);
  EXPECT_STREQ(b, "1234");
  std::strcpy(b, "keep");
  EXPECT_EQ(SafeSnprintf(b, 0, "%d", 1), 0);
  EXPECT_STREQ(b, "keep");
}

TEST(SafeSnprintf, PrintsNumbersInTheCLocaleAndRestoresTheThreadLocale) {
  // The process locale may be anything; "C.UTF-8" at least changes LC_CTYPE.
  locale_t utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
  ASSERT_NE(utf8, nullptr);
  const locale_t before = uselocale(utf8);
  char b[32];
  EXPECT_EQ(SafeSnprintf(b, sizeof b, "%.2f", 2.5), 4);
  EXPECT_STREQ(b, "2.50");
  EXPECT_EQ(uselocale(nullptr), utf8);
  uselocale(before);
  freelocale(utf8);
}

TEST(SafeSwprintf, FormatsWideAndNarrowUtf8Arguments) {
  wchar_t b[16];
  EXPECT_EQ(SafeSwprintf(b, 16, L"%ls-%d", L"ab", 42), 5);
  EXPECT_STREQ(b, L"ab-42");
  // Narrow arguments are UTF-8 even though the process runs in the C locale.
  EXPECT_EQ(SafeSwprintf(b, 16, L"%s", "caf\xc3\xa9"), 4);
  EXPECT_STREQ(b, L"caf\u00e9");
  EXPECT_EQ(SafeSwprintf(b, 4, L"%d", 12345), 3);
  EXPECT_STREQ(b, L"123");
  EXPECT_EQ(SafeSwprintf(b, 0, L"%d", 1), 0);
}

struct CompareCase {
  const char* a;
  const char* b;
  int sign_icmp;
  int sign_lower;
};

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(AsciiStrICmp, FoldsOnlyAsciiLetters) {
  const CompareCase cases[] = {
      {"ABC", "abc", 0, 0},     {"ABC", "abd", -1, -1}, {"abc", "ab", 1, 1},
      {"", "", 0, 0},           {"[", "a", -1, -1},  // '[' is not folded although it sits after 'Z'
      {"\xe9", "a", -1, 1},      // signed bytes sort below ASCII, unsigned above
      {"\xc9", "\xe9", -1, -1},  // no folding outside ASCII
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(AsciiStrICmp(c.a, c.b)), c.sign_icmp) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(AsciiStrICmpLower(c.a, c.b)), c.sign_lower) << c.a << " vs " << c.b;
  }
}

TEST(AsciiStrNICmp, StopsAfterN) {
  EXPECT_EQ(AsciiStrNICmp("ABCx", "abcy", 3), 0);
  EXPECT_LT(AsciiStrNICmp("ABCx", "abcy", 4), 0);
  EXPECT_EQ(AsciiStrNICmp("a", "b", 0), 0);
  EXPECT_EQ(AsciiStrNICmp("ab", "AB", 10), 0);
}

TEST(AsciiWcsICmp, ComparesUnsigned) {
  EXPECT_EQ(AsciiWcsICmp(L"HeLLo", L"hello"), 0);
  EXPECT_LT(AsciiWcsICmp(L"a", L"b"), 0);
  EXPECT_GT(AsciiWcsICmp(L"\u00e9", L"z"), 0);
  EXPECT_NE(AsciiWcsICmp(L"\u00c9", L"\u00e9"), 0);
  const wchar_t high[] = {static_cast<wchar_t>(0x80000000u), 0};
  EXPECT_GT(AsciiWcsICmp(high, L"a"), 0);
}

TEST(StrCase, ChangesOnlyAsciiLettersWithinN) {
  char t[] = "abC\xe9xyz";
  StrUpperN(t, 5);
  EXPECT_STREQ(t, "ABC\xe9Xyz");
  StrLowerN(t, 3);
  EXPECT_STREQ(t, "abc\xe9Xyz");
  StrLowerN(t, 0);
  EXPECT_STREQ(t, "abc\xe9Xyz");
  char shortText[] = "ab";
  StrUpperN(shortText, 100);  // stops at the NUL
  EXPECT_STREQ(shortText, "AB");
}

TEST(StrReplaceChar, ReplacesEveryByte) {
  char t[] = "a\\b\\\\c";
  StrReplaceChar(t, '\\', '/');
  EXPECT_STREQ(t, "a/b//c");
}

TEST(Utf16Len, CountsUnits) {
  EXPECT_EQ(Utf16Len(u""), 0u);
  EXPECT_EQ(Utf16Len(u"a\U0001F600"), 3u);
}

TEST(StrTokenize, BehavesLikeStrtokR) {
  const char* inputs[] = {"a,b,,c", ",,lead", "trail,,", "", ",,,", "one", " a  b ,c"};
  for (const char* input : inputs) {
    std::string mine(input), theirs(input);
    char* my_state = nullptr;
    char* their_state = nullptr;
    char* m = StrTokenize(mine.data(), ", ", &my_state);
    char* t = strtok_r(theirs.data(), ", ", &their_state);
    while (m != nullptr || t != nullptr) {
      ASSERT_NE(m, nullptr) << input;
      ASSERT_NE(t, nullptr) << input;
      EXPECT_STREQ(m, t) << input;
      EXPECT_EQ(m - mine.data(), t - theirs.data()) << input;
      m = StrTokenize(nullptr, ", ", &my_state);
      t = strtok_r(nullptr, ", ", &their_state);
    }
  }
}

TEST(StrTokenize, RefusesNullArguments) {
  char t[] = "a b";
  char* state = nullptr;
  EXPECT_EQ(StrTokenize(t, nullptr, &state), nullptr);
  EXPECT_EQ(StrTokenize(t, " ", nullptr), nullptr);
  EXPECT_EQ(StrTokenize(nullptr, " ", &state), nullptr);  // no text yet
}

}  // namespace
