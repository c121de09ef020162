#include "verify/common/byte_array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

ByteArray Make(const std::string& text) {
  ByteArray a;
  EXPECT_EQ(a.Assign(static_cast<int64_t>(text.size()), text.data()), 1);
  return a;
}

std::string Text(const ByteArray& a) {
  return std::string(reinterpret_cast<const char*>(a.GetData()),
                     static_cast<size_t>(a.GetLength()));
}

TEST(ByteArrayTest, SlicesShareBytesAndCountFromTheInnerView) {
  ByteArray whole = Make("0123456789abcdef");
  ByteArray outer(whole, 5, 8);
  EXPECT_EQ(outer.GetOffset(), 5);
  ByteArray inner;
  ASSERT_EQ(inner.Slice(outer, 2, 3), 1);
  EXPECT_EQ(inner.GetOffset(), 7);
  EXPECT_EQ(Text(inner), "789");
  EXPECT_EQ(whole.GetArray(), inner.GetArray());
  EXPECT_EQ(whole.GetArray() != nullptr, true);
  // Writes through one view are seen by every other.
  ByteArray copy = inner;
  copy.Reverse();
  EXPECT_EQ(Text(whole), "0123456987abcdef");
}

TEST(ByteArrayTest, SliceRefusesBadRangesAndKeepsItsView) {
  ByteArray source = Make("abcdef");
  ByteArray view = Make("xy");
  const struct { int64_t offset, length; } bad[] = {{-1, 2}, {0, -1}, {4, 3}, {7, 0}};
  for (const auto& c : bad) {
    EXPECT_EQ(view.Slice(source, c.offset, c.length), 0) << c.offset << "," << c.length;
    EXPECT_EQ(Text(view), "xy");
  }
  EXPECT_EQ(view.Slice(ByteArray(), 0, 0), 0);
  EXPECT_EQ(view.Slice(source, 6, 0), 1);
  EXPECT_TRUE(view.IsEmpty());
}

TEST(ByteArrayTest, ViewsOfShrunkStorageAreClampedToWhatRemains) {
  ByteArray owner = Make("0123456789");
  ByteArray tail(owner, 5, 5);
  ByteArray middle(owner, 2, 6);
  ASSERT_EQ(owner.SetSize(3), 1);
  EXPECT_EQ(tail.GetLength(), 0);
  EXPECT_TRUE(tail.AsSpan().empty());
  EXPECT_EQ(middle.GetLength(), 1);
  EXPECT_EQ(Text(middle), "2");
  char buffer[16];
  EXPECT_EQ(middle.CopyToString(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "2");
  tail.Reverse();                         // must not write past the storage
  EXPECT_EQ(tail.Equals(0, nullptr), 1);  // an empty view
  ByteArray target = Make("zz");
  EXPECT_EQ(middle.CopyTo(0, target, 0, 2), 0);  // only one byte is left to copy
  // Growing the storage again brings the views back with the new (zero) bytes.
  ASSERT_EQ(owner.SetSize(10), 1);
  EXPECT_EQ(tail.GetLength(), 5);
  EXPECT_EQ(tail.GetAt(0), 0);
  EXPECT_EQ(Text(middle).substr(0, 1), "2");
}

TEST(ByteArrayTest, AssignThroughASliceResizesTheSharedArray) {
  ByteArray owner = Make("abcdef");
  ByteArray slice(owner, 4, 2);
  ASSERT_EQ(slice.Assign(2, "XY"), 1);
  EXPECT_EQ(slice.GetOffset(), 0);
  // The owner still views (0, 6) but the shared array now holds two bytes.
  EXPECT_EQ(Text(owner), "XY");
}

TEST(ByteArrayTest, AssignRefusesEmptyInput) {
  ByteArray a = Make("abc");
  EXPECT_EQ(a.Assign(0, "x"), 0);
  EXPECT_EQ(a.Assign(2, nullptr), 0);
  EXPECT_EQ(Text(a), "abc");
}

TEST(ByteArrayTest, AssignAndAppendFromTheirOwnBytes) {
  ByteArray a = Make("abcdef");
  ByteArray tail(a, 3, 3);
  ASSERT_EQ(a.Assign(3, tail.GetData()), 1);
  EXPECT_EQ(Text(a), "def");
  ASSERT_EQ(a.Append(3, a.GetData()), 1);
  for (int i = 0; i < 6; ++i) ASSERT_EQ(a.Append(a.GetLength(), a.GetData()), 1);
  EXPECT_EQ(a.GetLength(), 6 * 64);
  EXPECT_EQ(Text(a).substr(0, 9), "defdefdef");
}

TEST(ByteArrayTest, AppendNeedsAViewAtOffsetZero) {
  ByteArray a = Make("abcd");
  ByteArray slice(a, 1, 2);
  EXPECT_EQ(slice.Append(1, "x"), 0);
  ByteArray fresh;
  ASSERT_EQ(fresh.Append(2, "hi"), 1);
  ASSERT_EQ(fresh.Append(1, "!"), 1);
  EXPECT_EQ(Text(fresh), "hi!");
  EXPECT_EQ(fresh.Append(0, "x"), 0);
}

TEST(ByteArrayTest, CompareOrdersByLengthThenBytes) {
  const ByteArray empty;
  const ByteArray abc = Make("abc");
  const ByteArray abd = Make("abd");
  const ByteArray seven = Make("0000000");
  EXPECT_EQ(ByteArray::Compare(&abc, &seven), -4);
  EXPECT_EQ(ByteArray::Compare(&seven, &abc), 4);
  EXPECT_LT(ByteArray::Compare(&abc, &abd), 0);
  EXPECT_GT(ByteArray::Compare(&abd, &abc), 0);
  EXPECT_EQ(ByteArray::Compare(&empty, &empty), 0);
  EXPECT_EQ(ByteArray::Compare(nullptr, &abc), -2);
  EXPECT_EQ(ByteArray::Compare(&abc, nullptr), -2);
  EXPECT_EQ(empty.Equals(ByteArray()), 1);
  EXPECT_EQ(abc.Equals(Make("abc")), 1);
  EXPECT_EQ(abc.Equals(abd), 0);
  EXPECT_EQ(abc.Equals(2, "ab"), 0);
}

TEST(ByteArrayTest, CopyToStringNeedsRoomForTheNul) {
  const ByteArray a = Make("abcd");
  char buffer[5];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(a.CopyToString(buffer, 4), 0);
  EXPECT_EQ(a.CopyToString(nullptr, 5), 0);
  EXPECT_EQ(a.CopyToString(buffer, 5), 4);
  EXPECT_EQ(buffer[4], '\0');
  EXPECT_STREQ(buffer, "abcd");
}

TEST(ByteArrayTest, CopyToGrowsTheDestination) {
  const ByteArray source = Make("xyz");
  ByteArray four = Make("abcd");
  EXPECT_EQ(source.CopyTo(0, four, 4, 1), 0);
  ASSERT_EQ(source.CopyTo(0, four, 3, 3), 1);
  EXPECT_EQ(Text(four), "abcxyz");
  EXPECT_EQ(source.CopyTo(1, four, 0, 3), 0);  // past the source's end
  EXPECT_EQ(source.CopyTo(2, four, 9, 0), 1);
  // Source and destination on the same storage, growing it.
  ByteArray self = Make("12345");
  ByteArray head(self, 0, 4);
  ASSERT_EQ(head.CopyTo(0, self, 3, 4), 1);
  EXPECT_EQ(Text(self), "1231234");
}

TEST(ByteArrayTest, AttachTakesTheWholeArray) {
  ByteArray a = Make("old");
  EXPECT_EQ(a.Attach(nullptr), 0);
  auto array = std::make_unique<ByteStorage>();
  ASSERT_EQ(array->SetSize(4), 1);
  std::memcpy(array->GetData(), "new!", 4);
  ByteStorage* raw = array.get();
  ASSERT_EQ(a.Attach(std::move(array)), 1);
  EXPECT_EQ(a.GetArray(), raw);
  EXPECT_EQ(Text(a), "new!");
  ByteArray shared = a;
  a.Clear();
  EXPECT_EQ(Text(shared), "new!");
}

TEST(ByteArrayTest, PrivateCopiesDoNotShare) {
  ByteArray whole = Make("0123456789");
  ByteArray view(whole, 2, 3);

  ByteArray copy;
  ASSERT_EQ(copy.AssignCopy(view), 1);
  EXPECT_NE(copy.GetArray(), whole.GetArray());
  EXPECT_EQ(copy.GetOffset(), 2);
  EXPECT_EQ(Text(copy), "234");
  copy.Reverse();
  EXPECT_EQ(Text(view), "234");

  ByteArray tail;
  ASSERT_EQ(tail.AssignTail(whole, 7), 1);
  EXPECT_EQ(Text(tail), "789");
  EXPECT_EQ(tail.AssignTail(whole, 10), 0);
  EXPECT_EQ(tail.AssignTail(whole, -1), 0);
  EXPECT_EQ(tail.AssignTail(ByteArray(), 5), 1);
  EXPECT_EQ(Text(tail), "789");

  ByteArray from_array;
  ASSERT_EQ(from_array.AssignArray(*whole.GetArray()), 1);
  EXPECT_NE(from_array.GetArray(), whole.GetArray());
  EXPECT_EQ(Text(from_array), "0123456789");
}

TEST(ByteArrayTest, EmptyByteArrayHasNoStorage) {
  ByteArray a;
  EXPECT_EQ(a.GetData(), nullptr);
  EXPECT_EQ(a.GetBuffer(), 0u);
  EXPECT_EQ(a.GetArray(), nullptr);
  EXPECT_TRUE(a.IsEmpty());
  ASSERT_EQ(a.SetSize(4), 1);
  EXPECT_EQ(a.GetAt(3), 0);
  EXPECT_EQ(a.SetSize(-1), 0);
  EXPECT_EQ(a.GetLength(), 4);
  a.Clear();
  EXPECT_EQ(a.GetArray(), nullptr);
}

}  // namespace
