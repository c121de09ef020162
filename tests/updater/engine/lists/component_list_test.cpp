#include "updater/engine/lists/component_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"
#include "updater/engine/lists/update_lists.h"

namespace {

using upd::test::CatalogueTest;

struct Row {
  uint32_t category = kCategoryEngine;
  const char* name = "";
  const char* module = "em001";
  uint32_t platform = 1;
  int32_t level = 0;
  uint64_t build = 0;
  std::optional<uint32_t> base = std::nullopt;
  uint32_t flags = 0;
  uint32_t list_kind = kListPlain;
  uint32_t language = 0;
  const char* url = "";
  const char* local = "";
};

_COMPONENT_INFO Make(const Row& row) {
  _COMPONENT_INFO record;
  record.category = row.category;
  SafeStrCopy(record.name, sizeof record.name, row.name);
  SafeStrCopy(record.module, sizeof record.module, row.module);
  record.platform = row.platform;
  record.level = row.level;
  record.build = row.build;
  record.base = row.base;
  record.flags = row.flags;
  record.listKind = row.list_kind;
  record.language = row.language;
  record.url = row.url;
  record.localFile = row.local;
  return record;
}

CListBase ListOf(const std::vector<Row>& rows) {
  CListBase list;
  for (const Row& row : rows) list.Add(Make(row));
  return list;
}

// Each query's first match stands behind a dropped twin at index 0 or
// behind a near miss, so a query that ignores its filter answers wrongly.
TEST(ComponentListQueries, EachQueryMatchesItsFieldsAndPassesOverDroppedEntries) {
  const CListBase list = ListOf({
      {.name = "A", .build = 100, .flags = kComponentDropped},  // 0
      {.name = "a", .module = "EM001", .build = 100},           // 1
      {.name = "A_d1",
       .level = 1,
       .build = 101,
       .base = 100,
       .flags = kComponentModuleFile,
       .list_kind = kListContinuous},                                           // 2
      {.category = kCategoryDll, .name = "A", .build = 100, .language = 1033},  // 3
      {.name = "B", .platform = 0, .build = 100},                               // 4
      {.name = "a", .build = 100},                                              // 5
  });
  _COMPONENT_INFO dll = list[3];
  _COMPONENT_INFO other_language = list[3];
  other_language.language = 1031;
  const struct {
    const char* what;
    std::function<ListIndex()> query;
    ListIndex expected;
  } cases[] = {
      {"module, platform, level, kind",
       [&] { return list.FindByNamePlatformLevelKind("em001", 1, 0, kListPlain); }, 1},
      {"... from a start index",
       [&] { return list.FindByNamePlatformLevelKind("em001", 1, 0, kListPlain, 4); }, 5},
      {"... of a channel", [&] { return list.FindByNamePlatformLevelKind("em001", 1, 1, 1); }, 2},
      {"... of another kind", [&] { return list.FindByNamePlatformLevelKind("em001", 1, 1, 0); },
       kNoEntry},
      {"name and category", [&] { return list.FindByNameAndId("A", kCategoryEngine); }, 1},
      {"name of another category", [&] { return list.FindByNameAndId("A", kCategoryDll); }, 3},
      {"name, category, build, base",
       [&] { return list.FindByNameCategoryBuildBase("A_D1", kCategoryEngine, 101, 100); }, 2},
      {"module, build, base", [&] { return list.FindByModuleBuildBase("em001", 1, 101, 100); }, 2},
      {"... with another base", [&] { return list.FindByModuleBuildBase("em001", 1, 101, 99); },
       kNoEntry},
      {"the same record", [&] { return list.FindMatching(dll); }, 3},
      {"a record of another language", [&] { return list.FindMatching(other_language); }, kNoEntry},
      {"module and build on platform 0", [&] { return list.FindByModuleBuild("em001", 0, 100); },
       4},
      {"module and level", [&] { return list.FindByModuleLevel("em001", 1, 1); }, 2},
      {"module and platform", [&] { return list.FindByName("em001", 0); }, 4},
      {"category, module, platform with a flag",
       [&] { return list.FindByIdNamePlatform(kCategoryEngine, "em001", 1, kComponentModuleFile); },
       2},
      {"engine module without dropped", [&] { return list.FindEngineModule("em001", 1, 0, false); },
       1},
      {"engine module with dropped", [&] { return list.FindEngineModule("em001", 1, 0, true); }, 0},
      {"exact", [&] { return list.FindExact(kCategoryDll, "em001", 1, 0, false); }, 3},
      {"case-sensitive module, dropped counted",
       [&] { return list.FindByIdNamePlatformFrom(kCategoryEngine, "em001", 1, 0); }, 0},
      {"case-sensitive module in capitals",
       [&] { return list.FindByIdNamePlatformFrom(kCategoryEngine, "EM001", 1, 0); }, 1},
      {"case-sensitive module from a start index",
       [&] { return list.FindByIdNamePlatformFrom(kCategoryEngine, "em001", 1, 1); }, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.query(), c.expected);
  }
}

TEST(ComponentListQueries, PendingReferenceAndSelectedSize) {
  const CListBase list = ListOf({
      {.flags = kComponentSelected | kComponentDropped | kComponentReference},
      {.flags = kComponentSelected | kComponentPresent},
      {.flags = kComponentFetch},
      {.flags = kComponentFetch | kComponentPresent},
      {.flags = kComponentSelected | kComponentInstall},
  });
  EXPECT_EQ(list.FindFirstPending(false), 4);
  EXPECT_EQ(list.FindFirstPending(true), 2);
  EXPECT_EQ(list.FindFirstReference(), 0);
  EXPECT_EQ(CListBase().FindFirstPending(true), kNoEntry);
  EXPECT_EQ(CListBase().FindFirstReference(), kNoEntry);

  CListBase sized = ListOf({
      {.flags = kComponentSelected},
      {.flags = kComponentSelected | kComponentPresent},
      {.flags = kComponentFetch},
      {.flags = kComponentFetch | kComponentPresent},
      {.flags = kComponentFetch | kComponentSelected | kComponentDropped},
      {.flags = kComponentSelected | kComponentInstall},
  });
  // An unknown size counts as the largest a catalogue can give.
  const std::optional<uint32_t> sizes[] = {std::nullopt, 20, std::nullopt, 40, 50, 60};
  for (int i = 0; i < 6; ++i) sized[i].size = sizes[i];
  EXPECT_EQ(sized.GetSelectedSize(5), 5 + 2 * uint64_t{0xFFFFFFFFu} + 60);
}

// Full package 100 and deltas 100->101 ... 109->110, listed backwards.
CListBase TenLevelChain() {
  CListBase list;
  list.Add(Make({.build = 100}));
  for (int level = 10; level >= 1; --level) {
    list.Add(Make({.level = level,
                   .build = static_cast<uint64_t>(100 + level),
                   .base = static_cast<uint32_t>(99 + level)}));
  }
  return list;
}

TEST(ComponentListDeltas, FindDeltaForStopsAfterLevelNine) {
  const CListBase list = TenLevelChain();
  ListIndex found = kNoEntry;
  EXPECT_EQ(list.FindDeltaFor(0, nullptr, &found), 109u);
  ASSERT_NE(found, kNoEntry);
  EXPECT_EQ(list[found].level, 9);
  EXPECT_EQ(list.FindDeltaFor(99, nullptr, nullptr), 0u);
}

TEST(ComponentListDeltas, FindDeltaForFollowsOnlyUsableSteps) {
  CListBase list = ListOf({
      {.build = 100},
      {.level = 1, .build = 101, .base = 100, .flags = kComponentDropped},
      {.platform = 0, .level = 1, .build = 105, .base = 100},
      {.category = kCategoryDll, .level = 1, .build = 106, .base = 100},
      {.module = "em002", .level = 1, .build = 107, .base = 100},
      {.level = 1, .build = 102, .base = 100},
      {.level = 3, .build = 103, .base = 102},
  });
  ListIndex found = kNoEntry;
  // Level 2 is missing, so the chain ends at the level-1 delta.
  EXPECT_EQ(list.FindDeltaFor(0, nullptr, &found), 102u);
  EXPECT_EQ(found, 5);

  // A start entry of another list: its chain is looked up in this one.
  const CListBase local = ListOf({{.name = "local", .build = 102}});
  found = kNoEntry;
  EXPECT_EQ(list.FindDeltaFor(0, &local, &found), 102u);
  EXPECT_EQ(found, 0);
  list.Add(Make({.level = 1, .build = 104, .base = 102}));
  EXPECT_EQ(list.FindDeltaFor(0, &local, &found), 104u);
  EXPECT_EQ(found, 7);
}

TEST(ComponentListDeltas, GetNewestBuildClimbsFromTheFullPackage) {
  EXPECT_EQ(TenLevelChain().GetNewestBuild("EM001", 1, nullptr), 110u);

  const CListBase deltas_only = ListOf({
      {.level = 1, .build = 101, .base = 100},
      {.level = 2, .build = 102, .base = 101},
  });
  EXPECT_EQ(deltas_only.GetNewestBuild("em001", 1, nullptr), 0u);
  const CListBase full_elsewhere = ListOf({{.build = 100}});
  EXPECT_EQ(deltas_only.GetNewestBuild("em001", 1, &full_elsewhere), 102u);

  const CListBase with_dropped = ListOf({
      {.build = 100},
      {.level = 1, .build = 101, .base = 100, .flags = kComponentDropped},
      {.platform = 0, .level = 1, .build = 103, .base = 100},
  });
  EXPECT_EQ(with_dropped.GetNewestBuild("em001", 1, nullptr), 100u);
  EXPECT_EQ(with_dropped.GetNewestBuild("em001", 0, nullptr), 0u);
}

TEST(ComponentListEdits, MarkDroppedAndClearFlagsTouchOnlyTheirEntries) {
  CListBase list = ListOf({
      {.flags = kComponentSelected | kComponentInstall},
      {.flags = kComponentSelected | kComponentInstall, .list_kind = kListContinuous},
      {.level = 1, .flags = kComponentSelected},
      {.category = kCategoryDll, .flags = kComponentSelected},
      {.module = "EM001", .platform = 0, .flags = kComponentSelected},
  });
  list.MarkDropped(kCategoryEngine, "EM001", 1, 0, kListPlain);
  const uint32_t dropped[] = {kComponentDropped, 0, 0, 0, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list[i].flags & kComponentDropped, dropped[i]) << i;

  EXPECT_EQ(list.ClearFlags("em001", 1, kComponentSelected | kComponentInstall), 4);
  EXPECT_EQ(list[0].flags, kComponentDropped);
  EXPECT_EQ(list[3].flags, 0u);
  EXPECT_EQ(list[4].flags, kComponentSelected);
  EXPECT_EQ(list.ClearFlags("em009", 1, kComponentSelected), 0);
}

TEST(ComponentListEdits, AddOrMarkMergesIntoALiveEntryOfTheSameName) {
  CListBase list = ListOf({
      {.name = "Dropped", .flags = kComponentDropped},
      {.name = "Live", .flags = kComponentSelected},
  });
  _COMPONENT_INFO same = Make({.name = "LIVE"});
  EXPECT_EQ(list.AddOrMark(same, kComponentFetch), 2);
  EXPECT_EQ(list[1].flags, kComponentSelected | kComponentFetch);
  EXPECT_EQ(same.flags, kComponentFetch);

  _COMPONENT_INFO revived = Make({.name = "dropped"});
  EXPECT_EQ(list.AddOrMark(revived, kComponentFetch), 3);
  EXPECT_EQ(list[2].flags, kComponentFetch);
  _COMPONENT_INFO other_category = Make({.category = kCategoryDll, .name = "Live"});
  EXPECT_EQ(list.AddOrMark(other_category, 0), 4);
}

TEST(ComponentListEdits, ResolvePathsMakesPackageUrlsAbsoluteOnce) {
  CListBase list = ListOf({
      {.url = "em001.nup"},
      {.url = "/abs/em002.nup"},
      {.url = "//mirror/em003.nup"},
      {.url = "https://cdn.example/em004.nup"},
      {.url = "data0000"},
      {.url = "DATA_blob"},
      {.flags = kComponentResolved, .url = "left.nup"},
      {.url = "sub\\em005.nup"},
  });
  CListBase untouched = ListOf({{.url = "em001.nup"}});
  untouched.ResolvePaths("");
  EXPECT_EQ(untouched[0].url, "em001.nup");
  EXPECT_EQ(untouched[0].flags, 0u);

  list.ResolvePaths("http://srv:8080/upd/v3");
  const char* expected[] = {
      "http://srv:8080/upd/v3/em001.nup",
      "http://srv:8080/abs/em002.nup",
      "http://mirror/em003.nup",
      "https://cdn.example/em004.nup",
      "data0000",
      "DATA_blob",
      "left.nup",
      "http://srv:8080/upd/v3/sub/em005.nup",
  };
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(list[i].url, expected[i]) << i;
    EXPECT_EQ(list[i].flags, kComponentResolved) << i;
  }
  list.ResolvePaths("http://other/");
  EXPECT_EQ(list[0].url, expected[0]);
}

TEST(ComponentListEdits, InstalledListFindsByNameAndPlatform) {
  CInstalledList installed;
  _INSTALLED_COMPONENT_INFO record;
  SafeStrCopy(record.name, sizeof record.name, "em001");
  record.platform = 0;
  installed.Add(record);
  record.platform = 1;
  installed.Add(record);
  EXPECT_EQ(installed.FindByNameAndPlatform("EM001", 1), 1);
  EXPECT_EQ(installed.FindByNameAndPlatform("em001", 3), kNoEntry);
  EXPECT_EQ(installed.FindByName("Em001"), 0);
  EXPECT_EQ(installed.FindByName("em002"), kNoEntry);
}

TEST(ComponentListEdits, FillBasePathsTakesTheInstalledFileOfTheBaseBuild) {
  CListBase deltas = ListOf({
      {.name = "d1", .level = 1, .build = 101, .base = 100, .flags = kComponentBaseInstalled},
      {.name = "d2", .level = 1, .build = 101, .base = 99, .flags = kComponentBaseInstalled},
      {.name = "d3", .level = 1, .build = 101, .base = 100},
  });
  const CListBase installed = ListOf({
      {.build = 100, .flags = kComponentModuleFile | kComponentDropped, .local = "/m/old.dat"},
      {.build = 100, .flags = kComponentPresent, .local = "/m/package.nup"},
      {.build = 100, .flags = kComponentModuleFile, .local = "/m/em001.dat"},
  });
  deltas.FillBasePaths(installed);
  EXPECT_EQ(deltas[0].basePath, "/m/em001.dat");
  EXPECT_EQ(deltas[1].basePath, "");
  EXPECT_EQ(deltas[2].basePath, "");
}

TEST_F(CatalogueTest, AddFromNameListReadsEachListedSectionOnce) {
  const std::string long_name(127, 'L');
  const Catalogue catalogue = InMemory(
      "[A]\ncategory=engine\nplatform=x64\nbuild=1\n"
      "[B]\ncategory=engine\nplatform=x64\nbuild=2\n"
      "[C]\ncategory=dll\nplatform=x86\nbuild=3\n"
      "[NOBUILD]\ncategory=engine\nplatform=x64\n"
      "[BAD]\ncategory=other\nbuild=4\n"
      "[REF]\nver=upd0000ABCD.ver\n"
      "[" +
      long_name + "]\ncategory=engine\nplatform=x64\nbuild=5\n");
  CListBase list;
  EXPECT_EQ(list.AddFromNameList(" A,,B\tC", catalogue), 3);
  ASSERT_EQ(list.GetSize(), 3);
  EXPECT_STREQ(list[0].name, "A");
  EXPECT_STREQ(list[1].name, "B");
  EXPECT_STREQ(list[2].name, "C");

  const std::string more = "a, NOBUILD BAD MISSING ,\tREF " + long_name + "tail,";
  EXPECT_EQ(list.AddFromNameList(more.c_str(), catalogue), 5);
  EXPECT_STREQ(list[3].name, "REF");
  EXPECT_EQ(list[3].flags, kComponentReference);
  EXPECT_EQ(list[4].build, 5u);
  EXPECT_EQ(list.AddFromNameList("", catalogue), 5);
  EXPECT_EQ(list.AddFromNameList(nullptr, catalogue), 5);
}

TEST_F(CatalogueTest, ReloadReferencesReadsTheComponentCatalogueIntoTheReference) {
  const Catalogue component =
      InMemory("[CONTINUOUS_em001]\ncategory=engine\nplatform=x64\nbuild=42\nfile=em001_42.nup\n");
  CListBase list = ListOf({
      {.name = "CONTINUOUS_em001",
       .module = "",
       .platform = 0,
       .flags = kComponentReference | kComponentResolved | kComponentSelected,
       .list_kind = kListContinuous,
       .url = "HTTP://srv/upd\\upd1234ABCD.ver"},
      {.name = "CONTINUOUS_em001",
       .flags = kComponentReference,
       .url = "http://srv/upd/upd9999ABCD.ver"},
      {.name = "MISSING", .flags = kComponentReference, .url = "http://srv/upd/upd1234ABCD.ver"},
      {.name = "CONTINUOUS_em001", .url = "http://srv/upd/upd1234ABCD.ver"},
  });
  list.ReloadReferences(component, "http://srv/upd/upd1234abcd.ver");
  EXPECT_EQ(list[0].flags, kComponentSelected | kComponentHasBuild);
  EXPECT_EQ(list[0].build, 42u);
  EXPECT_EQ(list[0].url, "em001_42.nup");
  EXPECT_STREQ(list[0].module, "module");
  EXPECT_EQ(list[0].platform, 1u);
  EXPECT_EQ(list[0].listKind, kListContinuous);
  EXPECT_EQ(list[1].flags, kComponentReference);
  EXPECT_EQ(list[2].flags, kComponentReference);
  EXPECT_EQ(list[3].flags, 0u);
  EXPECT_EQ(list[3].build, 0u);
}

}  // namespace
