#include "updater/engine/common/component_tables.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(ComponentTables, NamesAndIdsRoundTripInEachTable) {
  const struct {
    const char* table;
    std::optional<uint32_t> (*id_of)(std::string_view);
    const char* (*name_of)(uint32_t);
    std::vector<std::pair<const char*, uint32_t>> entries;
  } tables[] = {
      {"category",
       GetCategoryId,
       GetCategoryName,
       {{"component", 1}, {"pico", 2}, {"engine", 3}, {"dll", 4}, {"dylib", 5}}},
      {"module platform",
       GetPlatformId,
       GetPlatformNameOfId,
       {{"x86", 0}, {"x64", 1}, {"arm", 2}, {"arm64", 3}}},
      {"component platform",
       GetComponentPlatformId,
       GetComponentPlatformName,
       {{"winnt32", 0}, {"winnt64", 1}, {"arm64", 2}}},
  };
  for (const auto& t : tables) {
    SCOPED_TRACE(t.table);
    for (const auto& [name, id] : t.entries) {
      EXPECT_EQ(t.id_of(name), id) << name;
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_EQ(t.id_of(upper), id) << upper;
      EXPECT_STREQ(t.name_of(id), name);
    }
    EXPECT_EQ(t.name_of(9), nullptr);
    EXPECT_EQ(t.id_of(""), std::nullopt);
    EXPECT_EQ(t.id_of(std::string(t.entries[0].first) + " "), std::nullopt);
  }
}

TEST(ComponentTables, ChannelPrefixesGiveTheListKind) {
  const struct {
    const char* section;
    ComponentListKind kind;
  } cases[] = {
      {"CONTINUOUS_em001", kListContinuous},
      {"continuous_", kListContinuous},
      {"Reverse_em001", kListReverse},
      {"PRELIMINARY_x", kListPreliminary},
      {"CONTINUOUS", kListPlain},
      {"PRELIMINARY", kListPlain},
      {"em001_CONTINUOUS_", kListPlain},
      {"", kListPlain},
  };
  for (const auto& c : cases) EXPECT_EQ(ListKindOfSection(c.section), c.kind) << c.section;
}

}  // namespace
