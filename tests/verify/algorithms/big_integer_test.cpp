#include "verify/algorithms/big_integer.h"

#include <gtest/gtest.h>

#include <vector>

#include "verify/algorithms/hex_util.h"

namespace upd::test {
namespace {

TEST(BigIntegerStorageTest, FromBytesSizesTheArrayOnlyWhenTooSmall) {
  std::vector<uint8_t> bytes(20, 0xab);
  BigInteger fresh;
  ASSERT_TRUE(fresh.FromBytesBE(bytes));
  EXPECT_EQ(fresh.GetLimbCount(), 3u);
  EXPECT_EQ(fresh.GetLimbs()[2], 0xababababu);

  BigInteger wide;
  ASSERT_TRUE(wide.SetLimbCount(4));
  wide.SetUInt(~uint64_t{0});
  ASSERT_TRUE(wide.FromBytesBE(bytes));
  EXPECT_EQ(wide.GetLimbCount(), 4u);
  EXPECT_EQ(wide.GetLimbs()[3], 0u);
  EXPECT_EQ(wide.GetLimbs()[0], 0xababababababababu);

  EXPECT_FALSE(fresh.FromBytesBE({}));
}

TEST(BigIntegerStorageTest, ToBytesRefusesAValueThatDoesNotFit) {
  BigInteger n = NumberFromHex("01ff", 2);
  std::vector<uint8_t> two(2);
  ASSERT_TRUE(n.ToBytesBE(two));
  EXPECT_EQ(ToHex(two), "01ff");
  std::vector<uint8_t> one(1);
  EXPECT_FALSE(n.ToBytesBE(one));
}

TEST(BigIntegerStorageTest, ResizeKeepsLowOrTopLimbs) {
  BigInteger n =
      NumberFromHex("0000000000000004000000000000000300000000000000020000000000000001", 4);
  BigInteger low;
  ASSERT_TRUE(BigInteger::Copy(low, n));
  ASSERT_TRUE(low.Resize(3, false));
  EXPECT_EQ(NumberToHex(low), "000000000000000300000000000000020000000000000001");
  ASSERT_TRUE(n.Resize(3, true));
  EXPECT_EQ(NumberToHex(n), "000000000000000400000000000000030000000000000002");
  ASSERT_TRUE(n.Resize(5, true));
  EXPECT_EQ(n.GetLimbs()[4], 0u);
  EXPECT_EQ(n.GetLimbs()[0], 2u);
}

TEST(BigIntegerStorageTest, SetLimbCountKeepsTheValueOnlyForAnUnchangedCount) {
  BigInteger n = NumberFromHex("05", 2);
  ASSERT_TRUE(n.SetBitSize(128));
  EXPECT_EQ(n.GetLimbs()[0], 5u);
  ASSERT_TRUE(n.SetBitSize(129));
  EXPECT_EQ(n.GetLimbCount(), 3u);
}

TEST(BigIntegerStorageTest, WipeAndSetUInt) {
  BigInteger n = NumberFromHex("ffffffffffffffffffffffffffffffff", 2);
  n.Wipe();
  EXPECT_TRUE(n.IsZero());
  n.SetUInt(1);
  EXPECT_TRUE(n.IsOne());
  BigInteger empty;
  empty.SetUInt(7);
  EXPECT_TRUE(empty.IsZero());
}

TEST(BigIntegerCompareTest, CountsMatterForEqualsNotForCompare) {
  BigInteger three = NumberFromHex("1234", 3);
  BigInteger four = NumberFromHex("1234", 4);
  EXPECT_EQ(BigInteger::Compare(three, four), 0);
  EXPECT_TRUE(BigInteger::IsEqual(three, four));
  EXPECT_FALSE(BigInteger::Equals(three, four));
  BigInteger bigger = NumberFromHex("1235", 3);
  EXPECT_EQ(BigInteger::Compare(three, bigger), -1);
  EXPECT_EQ(BigInteger::Compare(bigger, four), 1);
  BigInteger empty;
  EXPECT_EQ(BigInteger::Compare(empty, three), -1);
  EXPECT_FALSE(BigInteger::Equals(empty, empty));
}

TEST(BigIntegerCompareTest, NumbersWithoutStorage) {
  BigInteger empty;
  EXPECT_TRUE(empty.IsZero());
  EXPECT_FALSE(empty.IsOne());
  EXPECT_FALSE(empty.IsNegative());
  EXPECT_EQ(empty.BitLength(), 0u);
  EXPECT_EQ(empty.TestBit(0), 0);
  BigInteger out;
  EXPECT_FALSE(BigInteger::Multiply(out, empty, empty));
  EXPECT_FALSE(BigInteger::ShiftRight(out, empty, 1));
}

TEST(BigIntegerCompareTest, BitsAndSign) {
  BigInteger n = NumberFromHex(
      "8000000000000000"
      "0000000000000001",
      2);
  EXPECT_EQ(n.BitLength(), 128u);
  EXPECT_TRUE(n.IsNegative());
  EXPECT_EQ(n.TestBit(0), 1);
  EXPECT_EQ(n.TestBit(1), 0);
  EXPECT_EQ(n.TestBit(127), 1);
  EXPECT_EQ(n.TestBit(128), 0);
  EXPECT_EQ(NumberFromHex("0100", 3).BitLength(), 9u);
}

TEST(BigIntegerArithmeticTest, AddAndSubReturnCarryAndBorrow) {
  BigInteger a = NumberFromHex("ffffffffffffffffffffffffffffffff", 2);
  BigInteger one = NumberFromHex("01", 2);
  EXPECT_EQ(BigInteger::Add(a, one), 1u);
  EXPECT_TRUE(a.IsZero());

  BigInteger small = NumberFromHex("05", 2);
  BigInteger large = NumberFromHex("07", 2);
  EXPECT_EQ(BigInteger::Sub(small, large), 1u);
  EXPECT_EQ(NumberToHex(small), "fffffffffffffffffffffffffffffffe");
  EXPECT_TRUE(small.IsNegative());
  ASSERT_TRUE(small.Negate());
  EXPECT_EQ(NumberToHex(small), "00000000000000000000000000000002");

  BigInteger three = NumberFromHex("05", 3);
  EXPECT_EQ(BigInteger::Add(three, one), ~uint64_t{0});
  EXPECT_EQ(BigInteger::Sub(three, one), ~uint64_t{0});
  EXPECT_EQ(NumberToHex(three), "000000000000000000000000000000000000000000000005");
}

TEST(BigIntegerArithmeticTest, NegateOfZeroStaysZero) {
  BigInteger zero = NumberFromHex("00", 2);
  ASSERT_TRUE(zero.Negate());
  EXPECT_TRUE(zero.IsZero());
}

TEST(BigIntegerArithmeticTest, OutputsMayAliasInputs) {
  BigInteger a = NumberFromHex("0123456789abcdef0123456789abcdef", 2);
  BigInteger m = NumberFromHex("fedcba9876543210fedcba9876543211", 2);
  BigInteger expected;
  BigInteger copy;
  ASSERT_TRUE(BigInteger::Copy(copy, a));
  ASSERT_TRUE(BigInteger::ModMul(expected, copy, copy, m));
  ASSERT_TRUE(BigInteger::ModMul(a, a, a, m));
  EXPECT_TRUE(BigInteger::Equals(a, expected));
  ASSERT_TRUE(BigInteger::Multiply(copy, copy, copy));
  EXPECT_EQ(copy.GetLimbCount(), 4u);
}

TEST(BigIntegerArithmeticTest, KeepLowBits) {
  BigInteger a = NumberFromHex("ffffffffffffffffffffffffffffffff", 2);
  BigInteger out;
  ASSERT_TRUE(BigInteger::KeepLowBits(out, a, 68));
  EXPECT_EQ(NumberToHex(out), "000000000000000fffffffffffffffff");
  ASSERT_TRUE(BigInteger::KeepLowBits(out, a, 0));
  EXPECT_TRUE(out.IsZero());
  EXPECT_FALSE(BigInteger::KeepLowBits(out, a, 129));
  BigInteger narrow = NumberFromHex("00", 1);
  EXPECT_FALSE(BigInteger::KeepLowBits(narrow, a, 65));
}

TEST(BigIntegerArithmeticTest, ShiftRightIntoAnEmptyNumberTakesTheInputCount) {
  BigInteger a = NumberFromHex("10000000000000000000000000000000", 2);
  BigInteger out;
  ASSERT_TRUE(BigInteger::ShiftRight(out, a, 4));
  EXPECT_EQ(out.GetLimbCount(), 2u);
  EXPECT_EQ(NumberToHex(out), "01000000000000000000000000000000");
  ASSERT_TRUE(BigInteger::ShiftRight(out, a, 500));
  EXPECT_TRUE(out.IsZero());
}

TEST(BigIntegerModularTest, ReduceOfASmallerDividendReturnsIt) {
  BigInteger dividend = NumberFromHex("0123", 4);
  BigInteger divisor = NumberFromHex("ffffffffffffffff0000000000000000", 2);
  BigInteger q;
  BigInteger r;
  ASSERT_TRUE(BigInteger::Reduce(q, r, dividend, divisor));
  EXPECT_TRUE(q.IsZero());
  EXPECT_EQ(q.GetLimbCount(), 2u);
  EXPECT_EQ(NumberToHex(r), "00000000000000000000000000000123");
}

TEST(BigIntegerModularTest, ReduceRefusesWrongShapes) {
  BigInteger divisor = NumberFromHex("07", 2);
  BigInteger zero = NumberFromHex("00", 2);
  BigInteger q;
  BigInteger r;
  EXPECT_FALSE(BigInteger::Reduce(q, r, NumberFromHex("0123", 3), divisor));
  EXPECT_FALSE(BigInteger::Reduce(q, r, NumberFromHex("0123", 4), zero));
}

TEST(BigIntegerModularTest, ModExpNeedsMatchingCounts) {
  std::vector<uint8_t> modulus_bytes(256, 0xc5);
  modulus_bytes.back() = 0x01;
  BigInteger m;
  ASSERT_TRUE(m.FromBytesBE(modulus_bytes));
  ASSERT_EQ(m.GetLimbCount(), 32u);
  BigInteger base = NumberFromHex("02", 32);
  BigInteger e = NumberFromHex("010001", 32);
  BigInteger out;
  ASSERT_TRUE(BigInteger::ModExp(out, base, e, m));
  EXPECT_EQ(out.GetLimbCount(), 32u);

  BigInteger short_e = NumberFromHex("010001", 31);
  EXPECT_FALSE(BigInteger::ModExp(out, base, short_e, m));
  BigInteger zero_e = NumberFromHex("00", 32);
  ASSERT_TRUE(BigInteger::ModExp(out, base, zero_e, m));
  EXPECT_TRUE(out.IsOne());
}

TEST(BigIntegerModularTest, ModInverse) {
  BigInteger out;
  ASSERT_TRUE(BigInteger::ModInverse(out, NumberFromHex("03", 1), NumberFromHex("07", 1)));
  EXPECT_EQ(NumberToHex(out), "0000000000000005");
  // No inverse exists: refused rather than answered with a wrong number.
  EXPECT_FALSE(BigInteger::ModInverse(out, NumberFromHex("06", 1), NumberFromHex("09", 1)));
  EXPECT_FALSE(BigInteger::ModInverse(out, NumberFromHex("00", 1), NumberFromHex("07", 1)));
  EXPECT_FALSE(BigInteger::ModInverse(out, NumberFromHex("03", 2), NumberFromHex("07", 1)));
}

TEST(BigIntegerModularTest, ModWidensTheDividend) {
  BigInteger q;
  BigInteger r;
  ASSERT_TRUE(BigInteger::Mod(q, r, NumberFromHex("64", 1), NumberFromHex("07", 1)));
  EXPECT_EQ(NumberToHex(q), "000000000000000e");
  EXPECT_EQ(NumberToHex(r), "0000000000000002");
  EXPECT_FALSE(BigInteger::Mod(q, r, NumberFromHex("64", 2), NumberFromHex("07", 1)));
}

}  // namespace
}  // namespace upd::test
