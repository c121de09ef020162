#include "updater/engine/common/carray.h"

#include <gtest/gtest.h>

#include <string>

#include "updater/engine/lists/component_list.h"
#include "updater/engine/lists/update_lists.h"

namespace {

_COMPONENT_INFO Numbered(int64_t i) {
  _COMPONENT_INFO record;
  record.build = static_cast<uint64_t>(i);
  record.url = "http://srv/updates/em" + std::to_string(i) + "_a_path_longer_than_inline.nup";
  record.basePath = std::string(200, static_cast<char>('a' + i % 26));
  return record;
}

// A list of count records in a block of exactly that many.
CListBase Filled(int64_t count) {
  CListBase list;
  list.SetSize(count);
  for (int64_t i = 0; i < count; ++i) list[i] = Numbered(i);
  return list;
}

void ExpectNumbered(const CListBase& list) {
  for (int64_t i = 0; i < list.GetSize(); ++i) {
    ASSERT_EQ(list[i].build, static_cast<uint64_t>(i)) << i;
    ASSERT_EQ(list[i].url, Numbered(i).url) << i;
    ASSERT_EQ(list[i].basePath, Numbered(i).basePath) << i;
  }
}

// Appending to a full list: 4 more below 32 records, an eighth of the size
// from 32 on, never more than 1024 at once.
TEST(CArray, AppendToAFullListGrowsByTheRule) {
  const struct {
    int64_t size;
    int64_t grown;
  } cases[] = {{0, 1}, {1, 5}, {31, 35}, {40, 45}, {20000, 21024}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    CListBase list = Filled(c.size);
    ASSERT_EQ(list.GetCapacity(), c.size);
    EXPECT_EQ(list.Add(Numbered(c.size)), c.size);
    EXPECT_EQ(list.GetCapacity(), c.grown);
    EXPECT_EQ(list.GetSize(), c.size + 1);
    ExpectNumbered(list);
  }
}

TEST(CArray, RecordsKeepTheirPathsAcrossEveryReallocation) {
  CListBase list;
  for (int64_t i = 0; i < 2000; ++i) list.Add(Numbered(i));
  ExpectNumbered(list);
}

TEST(CArray, NewRecordsAreEmptyEvenWhereOldOnesStood) {
  CListBase list = Filled(10);
  list.SetSize(2);
  EXPECT_EQ(list.GetCapacity(), 10);
  list.SetSize(10);
  for (int64_t i = 2; i < 10; ++i) {
    EXPECT_EQ(list[i].build, 0u);
    EXPECT_TRUE(list[i].url.empty());
    EXPECT_TRUE(list[i].basePath.empty());
    EXPECT_EQ(list[i].name[0], '\0');
  }
}

TEST(CArray, SizeZeroFreesTheBlockAndTheNextAppendTakesOneRecord) {
  CListBase list = Filled(40);
  list.SetSize(0);
  EXPECT_EQ(list.GetData(), nullptr);
  EXPECT_EQ(list.GetCapacity(), 0);
  list.Add(Numbered(0));
  EXPECT_EQ(list.GetCapacity(), 1);
  ExpectNumbered(list);
}

TEST(CArray, AStoredStepReplacesTheRule) {
  CListBase list = Filled(40);
  list.SetSize(40, 100);
  list.Add(Numbered(40));
  EXPECT_EQ(list.GetCapacity(), 140);
  EXPECT_EQ(list.GetGrowBy(), 100);
}

// The record to append lives in the block that the append moves.
TEST(CArray, AppendingARecordOfTheSameListSurvivesTheMove) {
  CListBase list = Filled(4);
  ASSERT_EQ(list.GetCapacity(), list.GetSize());
  list.Add(list[1]);
  ASSERT_EQ(list.GetSize(), 5);
  EXPECT_EQ(list[4].url, Numbered(1).url);
  EXPECT_EQ(list[4].basePath, Numbered(1).basePath);
}

TEST(CArray, SetAtGrowFillsTheGapWithEmptyRecords) {
  CInstalledList list;
  _INSTALLED_COMPONENT_INFO record;
  std::string("em001").copy(record.name, 5);
  record.build = 7;
  list.SetAtGrow(3, record);
  ASSERT_EQ(list.GetSize(), 4);
  for (int64_t i = 0; i < 3; ++i) EXPECT_EQ(list[i].build, 0u);
  EXPECT_STREQ(list[3].name, "em001");
  record.build = 8;
  list.SetAtGrow(1, record);
  EXPECT_EQ(list.GetSize(), 4);
  EXPECT_EQ(list[1].build, 8u);
}

TEST(CArray, ClearingTheRunListsFreesEveryBlock) {
  CUpdateLists lists;
  CListBase* all[] = {&lists.updateList,  &lists.continuousList, &lists.preliminaryList,
                      &lists.reverseList, &lists.localList,      &lists.componentList};
  for (CListBase* list : all) list->Add(Numbered(1));
  lists.Clear();
  for (CListBase* list : all) {
    EXPECT_EQ(list->GetSize(), 0);
    EXPECT_EQ(list->GetCapacity(), 0);
    EXPECT_EQ(list->GetData(), nullptr);
  }
}

}  // namespace
