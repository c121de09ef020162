#include "platform/util/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "platform/util/cpu_features.h"

namespace {

using CrcFunction = uint32_t (*)(const void*, uint64_t, uint32_t);

struct Path {
  const char* name;
  CrcFunction crc;
};

std::vector<Path> Paths() {
  std::vector<Path> p = {{"chosen", Crc32}, {"bytewise", Crc32Bytewise}, {"sliced", Crc32Sliced}};
  if (CpuHasPclmul()) p.push_back({"pclmul", Crc32Pclmul});
  return p;
}

class Crc32PathTest : public ::testing::TestWithParam<Path> {};

uint32_t Zlib(const uint8_t* p, size_t n, uint32_t previous) {
  return static_cast<uint32_t>(crc32(previous, p, static_cast<uInt>(n)));
}

TEST_P(Crc32PathTest, CheckValue) {
  EXPECT_EQ(GetParam().crc("123456789", 9, 0), 0xCBF43926u);
  EXPECT_EQ(GetParam().crc("", 0, 0), 0u);
  EXPECT_EQ(GetParam().crc("abc", 0, 0x12345678), 0x12345678u);
}

// zlib is the oracle: every length around the folding thresholds, at every
// alignment, from zero and from a running value.
TEST_P(Crc32PathTest, EqualsZlibForEveryLengthAndAlignment) {
  std::mt19937 rng(17);
  std::vector<uint8_t> data(600);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t n = 0; n + offset <= data.size(); n += (n < 300 ? 1 : 37)) {
      const uint8_t* p = data.data() + offset;
      ASSERT_EQ(GetParam().crc(p, n, 0), Zlib(p, n, 0)) << "offset " << offset << ", length " << n;
      ASSERT_EQ(GetParam().crc(p, n, 0xDEADBEEF), Zlib(p, n, 0xDEADBEEF))
          << "offset " << offset << ", length " << n;
    }
  }
}

TEST_P(Crc32PathTest, EqualsZlibOnALargeBuffer) {
  std::mt19937 rng(23);
  std::vector<uint8_t> data((1 << 20) + 13);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  EXPECT_EQ(GetParam().crc(data.data(), data.size(), 0), Zlib(data.data(), data.size(), 0));
}

TEST_P(Crc32PathTest, ChainedCallsEqualOneCall) {
  std::mt19937 rng(29);
  std::vector<uint8_t> data(5000);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  const uint32_t whole = GetParam().crc(data.data(), data.size(), 0);
  for (size_t split : {1, 9, 64, 100, 4999}) {
    uint32_t c = GetParam().crc(data.data(), split, 0);
    c = GetParam().crc(data.data() + split, data.size() - split, c);
    EXPECT_EQ(c, whole) << split;
  }
}

INSTANTIATE_TEST_SUITE_P(Crc32Paths, Crc32PathTest, ::testing::ValuesIn(Paths()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Crc32Table, IsTheReflectedTableOfZlib) {
  auto table = Crc32Table();
  const z_crc_t* zlib_table = get_crc_table();
  for (size_t i = 0; i < table.size(); ++i) ASSERT_EQ(table[i], zlib_table[i]) << i;
}

}  // namespace
