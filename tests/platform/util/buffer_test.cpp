#include "platform/util/buffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/test_bytes.h"

namespace {

using upd::test::Contents;

// A buffer on a heap of its own that counts its calls and can refuse to grow or
// to shrink, so the failure paths and the slot routing can be seen.
class CountingBuffer : public CBuffer {
 public:
  ~CountingBuffer() override {
    uint64_t n = 0;
    std::free(Detach(&n));
  }

  void* Realloc(void* pointer, size_t size) override {
    ++reallocs;
    last_realloc_size = size;
    bool shrinking = size < Capacity();
    if ((shrinking && refuse_shrink) || (!shrinking && refuse_growth)) return nullptr;
    return std::realloc(pointer, size);
  }
  void* Alloc(size_t size) override { return std::malloc(size); }
  void Free(void* pointer) override {
    if (pointer != nullptr) ++frees;
    std::free(pointer);
  }

  int reallocs = 0;
  int frees = 0;
  size_t last_realloc_size = 0;
  bool refuse_growth = false;
  bool refuse_shrink = false;
};

TEST(BufferGrowth, CapacityFollowsHalfAgainInWholePages) {
  struct Case {
    const char* name;
    uint64_t fill;  // bytes appended first
    uint64_t more;  // bytes appended next
    uint64_t capacity;
  };
  const Case cases[] = {
      {"first byte takes one page", 0, 1, 4096},
      {"full page grows to two", 4096, 1, 8192},
      {"half again rounds up to whole pages", 12288, 1, 20480},
      {"a large append beyond half again", 4096, 10000, 16384},
      {"room left means no growth", 100, 3996, 4096},
  };
  for (const Case& c : cases) {
    CBuffer b;
    std::vector<uint8_t> bytes(c.fill + c.more, 0x5A);
    if (c.fill != 0) {
      ASSERT_EQ(b.Append(bytes.data(), c.fill), 0u) << c.name;
    }
    ASSERT_EQ(b.Append(bytes.data(), c.more), c.fill) << c.name;
    EXPECT_EQ(b.Capacity(), c.capacity) << c.name;
    EXPECT_EQ(b.Length(), c.fill + c.more) << c.name;
  }
}

TEST(BufferGrowth, FailedGrowthLeavesTheBufferAsItWas) {
  CountingBuffer b;
  ASSERT_EQ(b.Append("abc", 3), 0u);
  uint8_t* before = b.Data();
  b.refuse_growth = true;
  std::vector<uint8_t> big(5000, 1);
  EXPECT_EQ(b.Append(big.data(), big.size()), CBuffer::kFailed);
  EXPECT_EQ(b.Reserve(5000), nullptr);
  EXPECT_EQ(b.AppendString(std::string(5000, 'x').c_str()), CBuffer::kFailed);
  EXPECT_EQ(b.Data(), before);
  EXPECT_EQ(Contents(b), "abc");
  EXPECT_EQ(b.Capacity(), 4096u);
}

TEST(BufferGrowth, LengthOverflowFailsWithoutCallingTheHeap) {
  CountingBuffer b;
  ASSERT_EQ(b.Append("abc", 3), 0u);
  int reallocs = b.reallocs;
  const uint64_t huge = std::numeric_limits<uint64_t>::max() - 1;
  EXPECT_EQ(b.Reserve(huge), nullptr);
  EXPECT_EQ(b.Append("x", huge), CBuffer::kFailed);
  EXPECT_EQ(b.reallocs, reallocs);
  EXPECT_EQ(Contents(b), "abc");
}

TEST(BufferAppend, ResultsAndArguments) {
  CBuffer b;
  EXPECT_EQ(b.Append("x", 0), 0u);
  EXPECT_EQ(b.Capacity(), 0u) << "an empty append allocates nothing";
  EXPECT_EQ(b.Append(nullptr, 4), CBuffer::kFailed);
  EXPECT_EQ(b.Append("hello", 5), 0u);
  EXPECT_EQ(b.Append(" world", 6), 5u);
  EXPECT_EQ(b.Append("x", 0), 11u);
  EXPECT_EQ(Contents(b), "hello world");
}

TEST(BufferAppendString, JoinsTextsIntoOneTerminatedString) {
  CBuffer b;
  EXPECT_EQ(b.AppendString("abc"), 0u);
  EXPECT_EQ(b.AppendString("de"), 3u);
  EXPECT_EQ(b.AppendString(""), 5u);
  EXPECT_EQ(b.Length(), 6u);
  EXPECT_STREQ(reinterpret_cast<const char*>(b.Data()), "abcde");
  EXPECT_EQ(b.AppendString(nullptr), CBuffer::kFailed);
}

TEST(BufferAppendString, KeepsBinaryDataThatDoesNotEndInNul) {
  CBuffer b;
  ASSERT_EQ(b.Append("\x01\x02", 2), 0u);
  EXPECT_EQ(b.AppendString("ok"), 2u);
  EXPECT_EQ(Contents(b), std::string("\x01\x02ok\0", 5));
}

TEST(BufferReserve, CommitTakesWhatWasWrittenUpToTheCapacity) {
  CBuffer b;
  EXPECT_EQ(b.Reserve(0), nullptr) << "no storage yet";
  EXPECT_EQ(b.Capacity(), 0u);
  ASSERT_EQ(b.Append("ab", 2), 0u);
  uint8_t* at = b.Reserve(3);
  ASSERT_NE(at, nullptr);
  EXPECT_EQ(at, b.Data() + 2);
  std::memcpy(at, "cde", 3);
  EXPECT_EQ(b.Reserve(0), b.Data());
  EXPECT_EQ(b.Commit(3), 1);
  EXPECT_EQ(Contents(b), "abcde");
  EXPECT_EQ(b.Commit(b.Capacity() - 5 + 1), 0);
  EXPECT_EQ(b.Length(), 5u);
  EXPECT_EQ(b.Commit(b.Capacity() - 5), 1);
  EXPECT_EQ(b.Length(), b.Capacity());
}

TEST(BufferErase, RemovesRangesWithinTheData) {
  struct Case {
    const char* name;
    uint64_t offset, n;
    int result;
    const char* after;
  };
  const Case cases[] = {
      {"middle", 2, 3, 1,
       "ab"
       "fgh"},
      {"head", 0, 2, 1, "cdefgh"},
      {"tail up to the length", 5, 3, 1, "abcde"},
      {"everything", 0, 8, 1, ""},
      {"nothing at the end", 8, 0, 1, "abcdefgh"},
      {"offset past the length", 9, 0, 0, "abcdefgh"},
      {"range past the length", 6, 3, 0, "abcdefgh"},
      {"wrapping range", 1, std::numeric_limits<uint64_t>::max(), 0, "abcdefgh"},
  };
  for (const Case& c : cases) {
    CBuffer b;
    ASSERT_EQ(b.Append("abcdefgh", 8), 0u);
    EXPECT_EQ(b.Erase(c.offset, c.n), c.result) << c.name;
    EXPECT_EQ(Contents(b), c.after) << c.name;
  }
}

TEST(BufferConsume, FrontBytesMoveDownOnlyWhenRoomIsNeeded) {
  CBuffer b;
  std::string page(4096, 'p');
  ASSERT_EQ(b.Append(page.data(), 4000), 0u);
  ASSERT_EQ(b.Consume(3990), 1);
  EXPECT_EQ(b.Consume(11), 0);
  uint8_t* moved_from = b.Data();
  EXPECT_EQ(b.Room(), 96u);
  // 200 more bytes do not fit behind the data but fit once it is moved down.
  ASSERT_EQ(b.Append(page.data(), 200), 10u);
  EXPECT_NE(b.Data(), moved_from);
  EXPECT_EQ(b.Capacity(), 4096u);
  EXPECT_EQ(Contents(b), std::string(210, 'p'));
}

TEST(BufferDetach, HandsOutExactlyTheData) {
  CountingBuffer b;
  ASSERT_EQ(b.Append("0123456789", 10), 0u);
  ASSERT_EQ(b.Consume(4), 1);
  uint64_t length = 0;
  uint8_t* block = b.Detach(&length);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 6), "456789");
  EXPECT_EQ(b.last_realloc_size, 6u) << "the block is shrunk to the data";
  EXPECT_EQ(b.Data(), nullptr);
  EXPECT_EQ(b.Length(), 0u);
  EXPECT_EQ(b.Capacity(), 0u);
  std::free(block);
}

TEST(BufferDetach, FailedShrinkStillHandsOutTheData) {
  CountingBuffer b;
  ASSERT_EQ(b.Append("keep me", 7), 0u);
  b.refuse_shrink = true;
  uint64_t length = 0;
  uint8_t* block = b.Detach(&length);
  ASSERT_NE(block, nullptr) << "a refused shrink must not lose the bytes";
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 7), "keep me");
  EXPECT_EQ(b.Capacity(), 0u);
  std::free(block);
}

TEST(BufferDetach, EmptyBufferReleasesItsStorage) {
  CountingBuffer b;
  ASSERT_EQ(b.Append("abc", 3), 0u);
  b.Clear();
  EXPECT_EQ(b.Capacity(), 4096u) << "Clear keeps the storage";
  uint64_t length = 99;
  EXPECT_EQ(b.Detach(&length), nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(b.frees, 1);
  EXPECT_EQ(b.Detach(nullptr), nullptr);
  EXPECT_EQ(b.frees, 1);
}

TEST(BufferMoveFrom, TakesTheOtherStorageAndFreesItsOwn) {
  CountingBuffer a, b;
  ASSERT_EQ(a.Append("old", 3), 0u);
  ASSERT_EQ(b.Append("new data", 8), 0u);
  ASSERT_EQ(b.Consume(4), 1);
  uint8_t* data = b.Data();
  EXPECT_EQ(&a.MoveFrom(b), &a);
  EXPECT_EQ(a.frees, 1);
  EXPECT_EQ(a.Data(), data);
  EXPECT_EQ(Contents(a), "data");
  EXPECT_EQ(b.Data(), nullptr);
  EXPECT_EQ(b.Length(), 0u);
  EXPECT_EQ(b.Capacity(), 0u);
  EXPECT_EQ(&a.MoveFrom(a), &a);
  EXPECT_EQ(Contents(a), "data");
  EXPECT_EQ(a.frees, 1);
}

}  // namespace
