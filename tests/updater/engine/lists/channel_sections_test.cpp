#include "updater/engine/lists/channel_sections.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"

namespace upd::test {
namespace {

// Sections of every channel and several categories, in file order.
constexpr char kCatalogue[] =
    "[em001_64]\r\ncategory=engine\r\nplatform=x64\r\ntype=em001_64\r\nbuild=10\r\n"
    "[CONTINUOUS_em001_a]\r\ncategory=engine\r\nplatform=x64\r\ntype=em001_64\r\nbuild=11\r\n"
    "[continuous_em001_b]\r\ncategory=Engine\r\nplatform=x64\r\ntype=em001_64\r\nbuild=12\r\n"
    "[CONTINUOUS_lib]\r\ncategory=dll\r\nplatform=x64\r\ntype=lib\r\nbuild=13\r\n"
    "[CONTINUOUS_ref]\r\nver=upd1234ABCD.ver\r\n"
    "[CONTINUOUS_bad]\r\ncategory=engine\r\nplatform=sparc\r\ntype=em009\r\n"
    "[PRELIMINARY_em001]\r\ncategory=engine\r\nplatform=x64\r\ntype=em001_64\r\nbuild=14\r\n"
    "[PRELIMINARYem002]\r\ncategory=engine\r\nplatform=x64\r\ntype=em002_64\r\nbuild=15\r\n"
    "[REVERSE_em001]\r\ncategory=engine\r\nplatform=x64\r\ntype=em001_64\r\nbuild=9\r\n"
    "[REVERSE_lib]\r\ncategory=dll\r\nplatform=x64\r\ntype=lib\r\nbuild=8\r\n"
    "[lib]\r\ncategory=dll\r\nplatform=x64\r\ntype=lib\r\nbuild=7\r\n"
    "[lib2]\r\nname=lib\r\ncategory=dll\r\nplatform=x86\r\ntype=lib\r\nbuild=6\r\n"
    "[pico]\r\ncategory=pico\r\nid=5\r\n"
    "[app_x]\r\ncategory=component\r\nplatform=winnt64\r\nversion=1.0\r\n";

std::vector<std::string> Names(const CListBase& list) {
  std::vector<std::string> names;
  for (const _COMPONENT_INFO& entry : list) names.emplace_back(entry.name);
  return names;
}

using ChannelSections = CatalogueTest;

TEST_F(ChannelSections, EachReaderTakesTheEngineSectionsOfItsChannel) {
  const Catalogue catalogue = Catalogue::FromText(kCatalogue, CatalogueTrust::kUnchecked);
  CListBase continuous;
  EXPECT_EQ(ReadContinuousSections(continuous, catalogue), 2);
  EXPECT_EQ(Names(continuous),
            (std::vector<std::string>{"CONTINUOUS_em001_a", "continuous_em001_b"}));
  EXPECT_EQ(continuous[0].listKind, kListContinuous);
  EXPECT_EQ(continuous[1].build, 12u);

  CListBase preliminary;
  EXPECT_EQ(ReadPreliminarySections(preliminary, catalogue), 1);
  EXPECT_EQ(Names(preliminary), (std::vector<std::string>{"PRELIMINARY_em001"}));
  EXPECT_EQ(preliminary[0].listKind, kListPreliminary);

  CListBase reverse;
  EXPECT_EQ(ReadReverseSections(reverse, catalogue), 1);
  EXPECT_EQ(Names(reverse), (std::vector<std::string>{"REVERSE_em001"}));

  // The readers append.
  EXPECT_EQ(ReadReverseSections(reverse, catalogue), 1);
  EXPECT_EQ(reverse.GetSize(), 2);
}

TEST_F(ChannelSections, TheMirrorFormsTakeTheirCategory) {
  const Catalogue catalogue = Catalogue::FromText(kCatalogue, CatalogueTrust::kUnchecked);
  CListBase continuous;
  EXPECT_EQ(ReadContinuousSectionsOfCategory(continuous, catalogue, kCategoryDll), 1);
  EXPECT_EQ(Names(continuous), (std::vector<std::string>{"CONTINUOUS_lib"}));
  CListBase reverse;
  EXPECT_EQ(ReadReverseSectionsOfCategory(reverse, catalogue, kCategoryEngine), 1);
  EXPECT_EQ(ReadReverseSectionsOfCategory(reverse, catalogue, kCategoryDll), 1);
  EXPECT_EQ(Names(reverse), (std::vector<std::string>{"REVERSE_em001", "REVERSE_lib"}));
}

// Plain sections of one module category; an entry of the same category and
// name is marked rather than added again.
TEST_F(ChannelSections, PlainSectionsOfACategoryAreAddedOnce) {
  const Catalogue catalogue = Catalogue::FromText(kCatalogue, CatalogueTrust::kUnchecked);
  CListBase plain;
  EXPECT_EQ(ReadPlainSectionsOfCategory(plain, catalogue, kCategoryDll), 1);
  ASSERT_EQ(plain.GetSize(), 1);
  EXPECT_STREQ(plain[0].name, "lib");
  EXPECT_EQ(plain[0].build, 7u);
  // "lib2" named itself "lib"; "PRELIMINARYem002" lacks the prefix's '_'.
  EXPECT_EQ(ReadPlainSectionsOfCategory(plain, catalogue, kCategoryEngine), 2);
  EXPECT_EQ(Names(plain), (std::vector<std::string>{"lib", "em001_64", "PRELIMINARYem002"}));
  // Categories 1 and 2 are not modules.
  EXPECT_EQ(ReadPlainSectionsOfCategory(plain, catalogue, kCategoryComponent), 0);
  EXPECT_EQ(ReadPlainSectionsOfCategory(plain, catalogue, kCategoryPico), 0);
  EXPECT_EQ(ReadPlainSectionsOfCategory(plain, catalogue, kCategoryDll), 0);
  EXPECT_EQ(plain.GetSize(), 3);
}

TEST_F(ChannelSections, ACatalogueThatCannotBeLoadedGivesNothing) {
  CListBase list;
  const Catalogue missing =
      Catalogue::FromFile(dir_.file("missing.ver").c_str(), CatalogueTrust::kUnchecked);
  EXPECT_EQ(ReadContinuousSections(list, missing), 0);
  EXPECT_EQ(ReadPlainSectionsOfCategory(list, missing, kCategoryEngine), 0);
  EXPECT_EQ(ReadContinuousSections(list, Catalogue()), 0);
  EXPECT_EQ(list.GetSize(), 0);
}

TEST_F(ChannelSections, TheVisitorSeesReferencesButNotRefusedSections) {
  const Catalogue catalogue = Catalogue::FromText(kCatalogue, CatalogueTrust::kUnchecked);
  std::vector<std::string> seen;
  ForEachChannelSection(catalogue, kListContinuous,
                        [&](_COMPONENT_INFO& record) { seen.emplace_back(record.name); });
  EXPECT_EQ(seen, (std::vector<std::string>{"CONTINUOUS_em001_a", "continuous_em001_b",
                                            "CONTINUOUS_lib", "CONTINUOUS_ref"}));
}

}  // namespace
}  // namespace upd::test
