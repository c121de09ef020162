#include "platform/util/result_allocator.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The entries are called the way a host calls them: through the record's
// Microsoft x64 function pointers. AddressSanitizer checks that the block is
// usable for its whole size and that Free releases what Allocate made.
TEST(DefaultResultAllocator, AllocatesUsableBlocksAndFreesThem) {
  EXPECT_EQ(DefaultResultAllocator.hostWord, 0u);
  for (uint64_t size : {uint64_t{1}, uint64_t{16}, uint64_t{4097}}) {
    void* block = DefaultResultAllocator.Allocate(size);
    ASSERT_NE(block, nullptr) << size;
    std::memset(block, 0xA5, size);
    DefaultResultAllocator.Free(block);
  }
}

TEST(DefaultResultAllocator, FreeAcceptsNull) { DefaultResultAllocator.Free(nullptr); }

}  // namespace
