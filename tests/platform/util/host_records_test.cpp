#include "platform/util/host_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "testhost/allocator_host.h"

namespace {

using upd::testhost::AllocatorHost;

static_assert(sizeof(HOST_STRING) == 40);
static_assert(sizeof(HOST_ARRAY) == 32);
static_assert(sizeof(StepResult) == 12);
static_assert(sizeof(APP_UPDATE_INFO) == 400);
static_assert(HostArrayMaxCount(sizeof(StepResult)) == 0x0AAAAAAAAAAAAAAA);
static_assert(HostArrayMaxCount(sizeof(APP_UPDATE_INFO)) == 0x51EB851EB851EB);

bool Append(HOST_STRING* string, const std::string& text) {
  return HostStringAppend(string, text.size(), text.data());
}

// The string's invariants: the NUL after the text, the capacity, and the
// block belonging to the string's allocator.
void ExpectString(const HOST_STRING& string, const std::string& text, uint64_t capacity,
                  const AllocatorHost& allocator) {
  EXPECT_EQ(HostStringView(&string), text);
  EXPECT_EQ(HostStringText(&string)[text.size()], '\0');
  EXPECT_EQ(uint64_t{string.capacity}, capacity);
  if (capacity > kHostStringInlineCapacity) {
    EXPECT_TRUE(allocator.Owns(HostStringText(&string)));
  }
}

TEST(HostString, GrowsInlineThenByTheGrowthRule) {
  AllocatorHost allocator;
  HOST_STRING string;
  HostStringInit(&string, allocator.allocator());
  ExpectString(string, "", 15, allocator);

  ASSERT_TRUE(Append(&string, std::string(15, 'a')));
  ExpectString(string, std::string(15, 'a'), 15, allocator);
  EXPECT_TRUE(allocator.requests().empty()) << "15 bytes stay inline";

  ASSERT_TRUE(Append(&string, "b"));
  ExpectString(string, std::string(15, 'a') + "b", 31, allocator);
  ASSERT_TRUE(Append(&string, std::string(15, 'c')));
  ExpectString(string, std::string(15, 'a') + "b" + std::string(15, 'c'), 31, allocator);

  // Full at 31: max(31 + 15, 32 | 15) = 47, so 48 bytes are asked.
  ASSERT_TRUE(Append(&string, "d"));
  EXPECT_EQ(uint64_t{string.capacity}, 47u);
  EXPECT_EQ(allocator.requests(), (std::vector<uint64_t>{32, 48}));
  EXPECT_EQ(allocator.frees(), 1u) << "the first heap block went back";
  EXPECT_EQ(allocator.live(), 1u);

  // A long append takes the needed size with its low four bits set.
  ASSERT_TRUE(Append(&string, std::string(100, 'e')));
  EXPECT_EQ(uint64_t{string.capacity}, (32u + 100u) | 15u);

  HostStringFree(&string);
  ExpectString(string, "", 15, allocator);
  EXPECT_EQ(allocator.live(), 0u);
  EXPECT_EQ(allocator.foreign_frees(), 0u);
}

TEST(HostString, AppendsItsOwnTextToItself) {
  AllocatorHost allocator;
  for (const std::string& start : {std::string("abcdefg"), std::string(20, 'x') + "yz"}) {
    SCOPED_TRACE(start);
    HOST_STRING string;
    HostStringInit(&string, allocator.allocator());
    ASSERT_TRUE(Append(&string, start));
    // Both while it fits and when it has to move to a new block.
    for (int round = 0; round < 3; ++round) {
      const std::string before(HostStringView(&string));
      ASSERT_TRUE(HostStringAppend(&string, string.length, HostStringText(&string)));
      EXPECT_EQ(HostStringView(&string), before + before);
    }
    HostStringFree(&string);
  }
  EXPECT_EQ(allocator.live(), 0u);
}

TEST(HostString, FailedAllocationLeavesTheStringAsItWas) {
  AllocatorHost allocator;
  HOST_STRING string;
  HostStringInit(&string, allocator.allocator());
  ASSERT_TRUE(Append(&string, std::string(20, 'a')));
  const HOST_STRING before = string;
  allocator.FailAfter(0);
  EXPECT_FALSE(Append(&string, std::string(20, 'b')));
  EXPECT_EQ(std::memcmp(&before, &string, sizeof string), 0);
  EXPECT_EQ(HostStringView(&string), std::string(20, 'a'));

  EXPECT_FALSE(HostStringAppend(&string, kHostMaxBytes, "x")) << "beyond the largest string";
  HOST_STRING unowned;
  HostStringInit(&unowned, nullptr);
  EXPECT_FALSE(Append(&unowned, std::string(16, 'x')));
  EXPECT_TRUE(Append(&unowned, "fits inline"));
  HostStringFree(&string);
}

TEST(HostString, ClearKeepsTheBlock) {
  AllocatorHost allocator;
  HOST_STRING string;
  HostStringInit(&string, allocator.allocator());
  ASSERT_TRUE(Append(&string, std::string(40, 'a')));
  const char* block = string.heapText;
  HostStringClear(&string);
  ExpectString(string, "", 47, allocator);
  EXPECT_EQ(HostStringText(&string), block);
  ASSERT_TRUE(Append(&string, "again"));
  EXPECT_EQ(HostStringText(&string), block);
  HostStringFree(&string);
}

TEST(HostArray, GrowsByHalfAndMovesTheElements) {
  AllocatorHost allocator;
  HOST_ARRAY array{nullptr, 0, 0, allocator.allocator()};
  for (uint32_t i = 0; i < 10; ++i) {
    ASSERT_TRUE(HostArrayPushBack(&array, StepResult{12, i, i * 2}));
  }
  // Capacities 1, 2, 3, 4, 6, 9, 13.
  EXPECT_EQ(allocator.requests(), (std::vector<uint64_t>{12, 24, 36, 48, 72, 108, 156}));
  EXPECT_EQ(uint64_t{array.capacity}, 13u);
  EXPECT_EQ(uint64_t{array.count}, 10u);
  EXPECT_EQ(allocator.null_frees(), 1u) << "the first growth gives back the null block";
  EXPECT_EQ(allocator.live(), 1u);
  for (uint32_t i = 0; i < 10; ++i) {
    const StepResult* entry = HostArrayAt<StepResult>(&array, i);
    EXPECT_EQ(entry->code, i);
    EXPECT_EQ(entry->step, i * 2);
  }
}

TEST(HostArray, FailedGrowthLeavesTheArrayAsItWas) {
  AllocatorHost allocator;
  HOST_ARRAY array{nullptr, 0, 0, allocator.allocator()};
  ASSERT_TRUE(HostArrayPushBack(&array, StepResult{12, 1, 1}));
  ASSERT_TRUE(HostArrayPushBack(&array, StepResult{12, 2, 2}));
  const HOST_ARRAY before = array;
  allocator.FailAfter(0);
  EXPECT_FALSE(HostArrayPushBack(&array, StepResult{12, 3, 3}));
  EXPECT_EQ(std::memcmp(&before, &array, sizeof array), 0);
  EXPECT_EQ(HostArrayAt<StepResult>(&array, 1)->code, 2u);
  EXPECT_EQ(allocator.frees(), 1u);

  HOST_ARRAY full{nullptr, HostArrayMaxCount(12), HostArrayMaxCount(12), allocator.allocator()};
  EXPECT_FALSE(HostArrayPushBack(&full, StepResult{12, 0, 0})) << "at the largest count";
  HOST_ARRAY unowned{nullptr, 0, 0, nullptr};
  EXPECT_FALSE(HostArrayPushBack(&unowned, StepResult{12, 0, 0}));
}

}  // namespace
