#include "updater/engine/lists/host_component_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"

namespace {

using upd::test::CatalogueTest;

constexpr const char* kCatalogue =
    "[SETUP]\nprobability=10\n"
    "[APP_one]\ncategory=component\nplatform=winnt64\nversion=1.2.3.4\n"
    "display_name=One%20App\nlanguage=1033\n"
    "[NOUNDERSCORE]\ncategory=component\nplatform=winnt32\n"
    "[ENGINE_x64]\ncategory=engine\nplatform=x64\nbuild=5\n"
    "[APP_bad]\ncategory=component\nplatform=x64\n"
    "[Agent_Update_With_A_Very_Long_Prefix]\ncategory=Component\nplatform=arm64\n"
    "buildMS=1\nbuildLS=2\n"
    "[APP_two]\ncategory=component\nplatform=winnt32\n";

// Four sections are listed (one of them does not read), so room for four.
constexpr size_t kListed = 4;

bool AllBytesAre(const std::vector<COMPONENT_LIST_ENTRY>& entries, size_t from, unsigned char b) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(entries.data());
  for (size_t i = from * sizeof(COMPONENT_LIST_ENTRY); i < entries.size() * sizeof entries[0];
       ++i) {
    if (bytes[i] != b) return false;
  }
  return true;
}

TEST_F(CatalogueTest, ReadComponentListFillsOneEntryPerReadableComponent) {
  const std::string path = WriteCatalogue(kCatalogue);
  std::vector<COMPONENT_LIST_ENTRY> entries(kListed + 1);
  std::memset(entries.data(), 0xAB, entries.size() * sizeof entries[0]);
  ASSERT_EQ(ReadComponentList(path.c_str(), entries.data(), entries.size() * sizeof entries[0]), 3);

  EXPECT_STREQ(entries[0].displayName, "One App");
  EXPECT_STREQ(entries[0].sectionName, "APP_one");
  EXPECT_STREQ(entries[0].prefix, "APP");
  EXPECT_EQ(entries[0].platform, 1u);
  EXPECT_EQ(entries[0].language, 1033u);
  EXPECT_EQ(entries[0].build, 0x0001000200030004u);

  EXPECT_STREQ(entries[1].displayName, "");
  EXPECT_STREQ(entries[1].sectionName, "Agent_Update_With_A_Very_Long_Prefix");
  EXPECT_STREQ(entries[1].prefix, "Agent");
  EXPECT_EQ(entries[1].platform, 2u);
  EXPECT_EQ(entries[1].build, 0x100000002u);

  EXPECT_STREQ(entries[2].sectionName, "APP_two");
  EXPECT_EQ(entries[2].platform, 0u);
  EXPECT_TRUE(AllBytesAre(entries, 3, 0));
}

TEST_F(CatalogueTest, ReadComponentListLongNamesAreCut) {
  const std::string long_prefix(40, 'P');
  const std::string section = long_prefix + "_" + std::string(40, 's');
  const std::string path =
      WriteCatalogue("[" + section + "]\ncategory=component\nplatform=winnt32\n");
  COMPONENT_LIST_ENTRY entry;
  ASSERT_EQ(ReadComponentList(path.c_str(), &entry, sizeof entry), 1);
  EXPECT_EQ(std::string(entry.sectionName), section.substr(0, 63));
  EXPECT_EQ(std::string(entry.prefix), long_prefix.substr(0, 31));
}

TEST_F(CatalogueTest, ReadComponentListWithTooLittleRoomReturnsMinusTheCount) {
  const std::string path = WriteCatalogue(kCatalogue);
  for (const size_t room :
       {size_t{0}, sizeof(COMPONENT_LIST_ENTRY), kListed * sizeof(COMPONENT_LIST_ENTRY) - 1}) {
    SCOPED_TRACE(room);
    std::vector<COMPONENT_LIST_ENTRY> entries(kListed);
    std::memset(entries.data(), 0xAB, entries.size() * sizeof entries[0]);
    EXPECT_EQ(ReadComponentList(path.c_str(), entries.data(), room), -static_cast<int>(kListed));
    // Exactly the bytes named are zeroed, nothing is filled.
    const auto* bytes = reinterpret_cast<const unsigned char*>(entries.data());
    for (size_t i = 0; i < entries.size() * sizeof entries[0]; ++i) {
      ASSERT_EQ(bytes[i], i < room ? 0 : 0xAB) << i;
    }
  }
}

TEST_F(CatalogueTest, ReadComponentListWithoutACatalogue) {
  COMPONENT_LIST_ENTRY entry;
  EXPECT_EQ(ReadComponentList(dir_.file("absent.ver").c_str(), &entry, sizeof entry), -1);
  EXPECT_EQ(ReadComponentList(WriteCatalogue("[A_B]\ncategory=component\n").c_str(), nullptr, 0),
            -1);
  EXPECT_EQ(ReadComponentList(WriteCatalogue("", "empty.ver").c_str(), &entry, sizeof entry), 0);
}

}  // namespace
