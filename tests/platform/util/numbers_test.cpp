#include "platform/util/numbers.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace {

struct UnsignedCase {
  const char* text;
  int base;
  int result;
  uint32_t value;
  size_t consumed;
  bool range_error;
};

TEST(StrToULong32, AcceptsThe32BitRangeOnly) {
  const UnsignedCase cases[] = {
      {"0", 10, 0, 0, 1, false},
      {"4294967295", 10, 0, 4294967295u, 10, false},
      {"4294967296", 10, -1, 0, 10, true},
      {"99999999999999999999999", 10, -1, 0, 23, true},  // beyond unsigned long
      {"ffffffff", 16, 0, 0xffffffffu, 8, false},
      {"0x1F", 0, 0, 31, 4, false},
      {"  42xyz", 10, 0, 42, 4, false},
      {"-1", 10, -1, 0, 2, true},  // strtoul wraps negatives; they do not fit
      {"-0", 10, 0, 0, 2, false},
      {"", 10, -1, 0, 0, false},
      {"xyz", 10, -1, 0, 0, false},
  };
  for (const auto& c : cases) {
    uint32_t value = 7;
    char* end = nullptr;
    errno = 0;
    EXPECT_EQ(StrToULong32(c.text, &value, &end, c.base), c.result) << c.text;
    EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    if (c.result != 0) {
      EXPECT_EQ(value, 7u) << "untouched on failure: " << c.text;
    }
    if (c.range_error) {
      EXPECT_EQ(errno, ERANGE) << c.text;
    }
    unsigned int twin = 7;
    EXPECT_EQ(StrToUInt32(c.text, &twin, nullptr, c.base), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(twin, c.value) << c.text;
    }
  }
}

struct SignedCase {
  const char* text;
  int result;
  int32_t value;
  bool range_error;
};

TEST(StrToLong32, AcceptsTheSigned32BitRangeOnly) {
  const SignedCase cases[] = {
      {"-2147483648", 0, INT32_MIN, false},
      {"2147483647", 0, INT32_MAX, false},
      {"2147483648", -1, 0, true},
      {"-2147483649", -1, 0, true},
      {"-99999999999999999999999", -1, 0, true},
      {"+17 rest", 0, 17, false},
      {"", -1, 0, false},
      {"-", -1, 0, false},
  };
  for (const auto& c : cases) {
    int32_t value = 7;
    errno = 0;
    EXPECT_EQ(StrToLong32(c.text, &value, nullptr, 10), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    if (c.range_error) {
      EXPECT_EQ(errno, ERANGE) << c.text;
    }
    int twin = 7;
    EXPECT_EQ(StrToInt32(c.text, &twin, nullptr, 10), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(twin, c.value) << c.text;
    }
  }
}

TEST(GetCLocale, IsOneSharedPosixLocale) {
  const locale_t a = GetCLocale();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, GetCLocale());
  EXPECT_DOUBLE_EQ(strtod_l("1.5", nullptr, a), 1.5);
}

TEST(ULongToStr, PrintsDecimalOrHex) {
  char b[32];
  EXPECT_EQ(ULongToStr(3735928559ul, b, sizeof b, 16), 0);
  EXPECT_STREQ(b, "deadbeef");
  EXPECT_EQ(ULongToStr(1234, b, sizeof b, 10), 0);
  EXPECT_STREQ(b, "1234");
  EXPECT_EQ(ULongToStr(255, b, sizeof b, 8), 0);  // any radix but 16 is decimal
  EXPECT_STREQ(b, "255");
  EXPECT_EQ(ULongToStr(1234, b, 3, 10), 0);
  EXPECT_STREQ(b, "12");
  EXPECT_EQ(ULongToStr(1234, b, 1, 10), 1);
  EXPECT_EQ(ULongToStr(1234, b, 0, 10), 1);
}

}  // namespace
