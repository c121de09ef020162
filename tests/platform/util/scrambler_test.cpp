#include "platform/util/scrambler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kPeriod = 11ull * 13 * 17 * 23 * 29 * 31;

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

std::vector<uint8_t> KeyStream(uint64_t start, size_t n) {
  std::vector<uint8_t> v(n, 0);
  ScrambleBytes(v.data(), start, n);
  return v;
}

uint8_t ExpectedKey(uint64_t p) {
  uint8_t k = 0;
  for (int t = 0; t < 6; ++t) {
    auto table = ScrambleKeyTable(t);
    k ^= table[p % table.size()];
  }
  return k;
}

TEST(Scrambler, TablesHaveTheirFixedLengths) {
  const size_t lengths[] = {11, 13, 17, 23, 29, 31};
  for (int t = 0; t < 6; ++t) EXPECT_EQ(ScrambleKeyTable(t).size(), lengths[t]) << t;
  EXPECT_TRUE(ScrambleKeyTable(6).empty());
  EXPECT_TRUE(ScrambleKeyTable(-1).empty());
}

TEST(Scrambler, TwiceGivesBackTheInput) {
  const auto original = RandomBytes(5000, 7);
  for (uint64_t start : {uint64_t{0}, uint64_t{12345}, kPeriod - 100}) {
    auto v = original;
    ScrambleBytes(v.data(), start, v.size());
    EXPECT_NE(v, original);
    ScrambleBytes(v.data(), start, v.size());
    EXPECT_EQ(v, original) << start;
  }
}

TEST(Scrambler, PiecesWithTheirPositionsEqualTheWhole) {
  const std::vector<std::vector<size_t>> splits = {
      {40, 60}, {1, 1, 98}, {11, 13, 17, 23, 29, 7}, {99, 1}, {0, 100}};
  const auto original = RandomBytes(100, 3);
  for (uint64_t base : {uint64_t{0}, uint64_t{1} << 40}) {
    auto whole = original;
    ScrambleBytes(whole.data(), base, whole.size());
    for (const auto& split : splits) {
      auto pieces = original;
      uint64_t at = 0;
      for (size_t n : split) {
        ScrambleBytes(pieces.data() + at, base + at, n);
        at += n;
      }
      EXPECT_EQ(pieces, whole) << "base " << base << ", first piece " << split[0];
    }
  }
}

TEST(Scrambler, ZeroBytesShowTheXorOfTheSixTables) {
  for (uint64_t start : {uint64_t{0}, uint64_t{5}, kPeriod * 3 + 17, (uint64_t{1} << 52) + 3}) {
    auto stream = KeyStream(start, 300);
    for (size_t i = 0; i < stream.size(); ++i) {
      ASSERT_EQ(stream[i], ExpectedKey(start + i)) << "position " << start + i;
    }
  }
}

TEST(Scrambler, StreamRepeatsOnlyAfterTheFullPeriod) {
  EXPECT_EQ(KeyStream(0, 256), KeyStream(kPeriod, 256));
  EXPECT_EQ(KeyStream(1000, 256), KeyStream(1000 + 7 * kPeriod, 256));
  for (uint64_t shorter :
       {kPeriod / 11, kPeriod / 13, kPeriod / 17, kPeriod / 23, kPeriod / 29, kPeriod / 31}) {
    EXPECT_NE(KeyStream(0, 256), KeyStream(shorter, 256)) << shorter;
  }
}

TEST(Scrambler, ZeroLengthTouchesNothing) {
  uint8_t byte = 0x42;
  ScrambleBytes(&byte, 0, 0);
  EXPECT_EQ(byte, 0x42);
  ScrambleBytes(nullptr, 0, 0);
}

// Values scrambled by earlier builds sit in users' files; the key stream must
// not change.
TEST(Scrambler, KeyStreamIsStableAcrossBuilds) {
  auto stream = KeyStream(0, 16);
  std::string hex;
  for (uint8_t b : stream) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  EXPECT_EQ(hex, "2e864cf257c62a8d7d7c91ab853648dc");
}

}  // namespace
