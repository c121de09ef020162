#include "verify/common/carray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"

namespace {

using Bytes = CArrayNoThrow<unsigned char, const unsigned char&>;

struct GrowthCase {
  const char* name;
  int64_t start;
  int64_t grow_by;
  int64_t target;
  int64_t capacity;
};

TEST(CArrayNoThrowTest, GrowthRule) {
  const GrowthCase cases[] = {
      {"small array steps by four", 10, 0, 11, 14},
      {"medium array steps by an eighth", 100, 0, 101, 112},
      {"large array step capped at 1024", 20000, 0, 20001, 21024},
      {"step below 32 is four even near the edge", 31, 0, 32, 35},
      {"explicit step", 10, 7, 11, 17},
      {"target beyond one step is taken whole", 10, 0, 50, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes a;
    ASSERT_EQ(a.SetSize(c.start, 0), 1);
    EXPECT_EQ(a.GetCapacity(), c.start);
    ASSERT_EQ(a.SetSize(c.target, c.grow_by), 1);
    EXPECT_EQ(a.GetSize(), c.target);
    EXPECT_EQ(a.GetCapacity(), c.capacity);
  }
}

TEST(CArrayNoThrowTest, ZeroFreesAndFirstAllocationIgnoresTheAutoStep) {
  Bytes a;
  ASSERT_EQ(a.SetSize(40), 1);
  ASSERT_EQ(a.SetSize(0), 1);
  EXPECT_EQ(a.GetData(), nullptr);
  EXPECT_EQ(a.GetCapacity(), 0);
  ASSERT_EQ(a.SetSize(5), 1);
  EXPECT_EQ(a.GetCapacity(), 5);
  ASSERT_EQ(a.SetSize(0, 8), 1);
  ASSERT_EQ(a.SetSize(5), 1);
  EXPECT_EQ(a.GetCapacity(), 8);  // max(n, grow-by)
}

TEST(CArrayNoThrowTest, RegrownElementsAreZeroAgain) {
  Bytes a;
  ASSERT_EQ(a.SetSize(10), 1);
  for (int i = 0; i < 10; ++i) a[i] = 0xAA;
  ASSERT_EQ(a.SetSize(2), 1);
  EXPECT_EQ(a.GetCapacity(), 10);
  ASSERT_EQ(a.SetSize(10), 1);
  for (int i = 2; i < 10; ++i) EXPECT_EQ(a[i], 0) << i;
  EXPECT_EQ(a[1], 0xAA);
}

TEST(CArrayNoThrowTest, FailuresLeaveTheArrayAsItWas) {
  Bytes a;
  ASSERT_EQ(a.SetSize(3), 1);
  a[0] = 7;
  const unsigned char* data = a.GetData();
  EXPECT_EQ(a.SetSize(-1), 0);
  EXPECT_EQ(a.SetSize(std::numeric_limits<int64_t>::max()), 0);  // step overflows
  CArrayNoThrow<CountedPtr<int>> wide;
  EXPECT_EQ(wide.SetSize(std::numeric_limits<int64_t>::max() / 4), 0);  // bytes overflow
  EXPECT_EQ(a.GetSize(), 3);
  EXPECT_EQ(a.GetData(), data);
  EXPECT_EQ(a[0], 7);
}

TEST(CArrayNoThrowTest, ClassElementsAreReleasedOnShrinkAndDestruction) {
  CountedPtr<int> shared = MakeCounted<int>(5);
  {
    CArrayNoThrow<CountedPtr<int>, const CountedPtr<int>&> a;
    for (int i = 0; i < 40; ++i) ASSERT_EQ(a.Add(shared), 1);  // several reallocations
    EXPECT_EQ(shared.GetCount(), 41u);
    ASSERT_EQ(a.SetSize(10), 1);
    EXPECT_EQ(shared.GetCount(), 11u);
    a.RemoveAt(0, 4);
    EXPECT_EQ(shared.GetCount(), 7u);
    ASSERT_EQ(a.SetAtGrow(20, shared), 1);
    EXPECT_EQ(a.GetSize(), 21);
    EXPECT_TRUE(a[10].IsEmpty());
    EXPECT_EQ(shared.GetCount(), 8u);
  }
  EXPECT_EQ(shared.GetCount(), 1u);
}

TEST(CArrayNoThrowTest, AddOfOwnElementSurvivesReallocation) {
  CArrayNoThrow<ByteArray, const ByteArray&> a;
  ByteArray first;
  ASSERT_EQ(first.Assign(3, "abc"), 1);
  ASSERT_EQ(a.Add(first), 1);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a.Add(a[0]), 1);
  EXPECT_TRUE(a[100].Equals(3, "abc"));
  EXPECT_EQ(a.SetAtGrow(150, a[3]), 1);
  EXPECT_TRUE(a[150].Equals(3, "abc"));
}

// An element whose deep copy fails on demand.
struct Fragile {
  bool fail = false;
  int value = 0;
  int CopyFrom(const Fragile& other) {
    if (other.fail) return 0;
    value = other.value;
    return 1;
  }
};

TEST(CArrayNoThrowTest, FailedElementCopyIsReported) {
  CArrayNoThrow<Fragile> a;
  Fragile good{false, 1};
  Fragile bad{true, 2};
  ASSERT_EQ(a.Add(good), 1);
  EXPECT_EQ(a.Add(bad), 0);
  EXPECT_EQ(a.GetSize(), 1);
  CArrayNoThrow<Fragile> b;
  ASSERT_EQ(b.Add(good), 1);
  ASSERT_EQ(b.SetAtGrow(3, good), 1);
  b[2].fail = true;
  EXPECT_EQ(a.Append(b), 0);
  EXPECT_EQ(a.GetSize(), 1);
  b[2].fail = false;
  ASSERT_EQ(a.Copy(b), 1);
  EXPECT_EQ(a.GetSize(), 4);
}

struct CopyToCase {
  const char* name;
  int64_t destination_size;
  int64_t destination_index;
  int64_t count;
  int expected;
  int64_t final_size;
};

TEST(CArrayNoThrowTest, CopyToRanges) {
  const CopyToCase cases[] = {
      {"index at the end fails", 4, 4, 1, 0, 4}, {"runs past the end grows", 4, 3, 3, 1, 6},
      {"inside needs no growth", 4, 0, 3, 1, 4}, {"count zero succeeds at once", 0, 9, 0, 1, 0},
      {"source too short", 4, 0, 6, 0, 4},       {"negative index", 4, -1, 2, 0, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes source;
    ASSERT_EQ(source.SetSize(5), 1);
    for (int i = 0; i < 5; ++i) source[i] = static_cast<unsigned char>('a' + i);
    Bytes destination;
    if (c.destination_size > 0) {
      ASSERT_EQ(destination.SetSize(c.destination_size), 1);
    }
    EXPECT_EQ(source.CopyTo(0, destination, c.destination_index, c.count), c.expected);
    EXPECT_EQ(destination.GetSize(), c.final_size);
    if (c.expected == 1 && c.count > 0) {
      EXPECT_EQ(destination[c.destination_index], 'a');
    }
  }
}

TEST(CArrayNoThrowTest, MakeRoomAtFrontMovesContentUp) {
  Bytes a;
  ASSERT_EQ(a.SetSize(3), 1);
  a[0] = 1;
  a[1] = 2;
  a[2] = 3;
  EXPECT_EQ(a.MakeRoomAtFront(0), 0);
  ASSERT_EQ(a.MakeRoomAtFront(2), 1);
  ASSERT_EQ(a.GetSize(), 5);
  EXPECT_EQ(a[2], 1);
  EXPECT_EQ(a[4], 3);
}

}  // namespace
