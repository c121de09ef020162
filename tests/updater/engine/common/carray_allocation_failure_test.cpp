#define UPD_DEFINE_ALLOC_FAILURE
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "support/alloc_failure.h"
#include "updater/engine/lists/component_list.h"

namespace {

using upd::test::FailNthAllocation;

// A list that cannot grow throws, and what it held stays where it was.
TEST(CArrayAllocationFailure, AFailedGrowthThrowsAndKeepsTheBlock) {
  CListBase list;
  list.SetSize(32);
  for (int i = 0; i < 32; ++i) {
    list[i].build = static_cast<uint64_t>(i);
    list[i].url = "em" + std::to_string(i) + ".nup";
  }
  const _COMPONENT_INFO* block = list.GetData();
  const int64_t capacity = list.GetCapacity();
  ASSERT_EQ(list.GetSize(), capacity);
  _COMPONENT_INFO extra;
  extra.url = "extra.nup";
  {
    FailNthAllocation fail(0);
    EXPECT_THROW(list.Add(extra), std::bad_alloc);
    EXPECT_THROW(list.SetSize(capacity + 1), std::bad_alloc);
  }
  EXPECT_EQ(list.GetData(), block);
  EXPECT_EQ(list.GetCapacity(), capacity);
  ASSERT_EQ(list.GetSize(), 32);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(list[i].build, static_cast<uint64_t>(i));
    EXPECT_EQ(list[i].url, "em" + std::to_string(i) + ".nup");
  }
  list.Add(extra);
  EXPECT_EQ(list[32].url, "extra.nup");
}

}  // namespace
