#include "updater/engine/lists/offered_modules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"
#include "updater/engine/lists/update_groups.h"

namespace upd::test {
namespace {

std::string EngineSection(const std::string& section, const std::string& keys) {
  return "[" + section + "]\r\ncategory=engine\r\n" + keys;
}

struct Offered {
  std::string name;
  uint64_t build;
  uint32_t platform;
};

std::vector<Offered> OfferedOf(const CInstalledList& installed) {
  std::vector<Offered> out;
  for (const _INSTALLED_COMPONENT_INFO& module : installed) {
    EXPECT_EQ(module.type, kEngineModuleType);
    EXPECT_EQ(module.flags, 0u);
    EXPECT_EQ(module.chosen, 0u);
    out.push_back({module.name, module.build, module.platform});
  }
  return out;
}

bool operator==(const Offered& a, const Offered& b) {
  return a.name == b.name && a.build == b.build && a.platform == b.platform;
}

std::ostream& operator<<(std::ostream& out, const Offered& o) {
  return out << o.name << "/" << o.build << "/" << o.platform;
}

class OfferedModules : public CatalogueTest {
 protected:
  CGroupList Groups(const char* text) {
    CGroupList groups;
    ParseGroupList(groups, text);
    return groups;
  }
  CBaseNupList base_;
};

// The host names "engine": a section for " engine" or for no group at all
// is not offered to it.
TEST_F(OfferedModules, OnlySectionsOfTheHostsGroupsAreOffered) {
  const Catalogue catalogue =
      InMemory(EngineSection("a", "group=engine\r\nplatform=x64\r\ntype=em001_64\r\n") +
               EngineSection("b", "group= engine\r\nplatform=x64\r\ntype=em002_64\r\n") +
               EngineSection("c", "group=\r\nplatform=x64\r\ntype=em003_64\r\n") +
               EngineSection("d", "platform=x64\r\ntype=em004_64\r\n") +
               EngineSection("e", "group=beta,engine\r\nplatform=x64\r\ntype=em005_64\r\n"));
  CInstalledList installed;
  EXPECT_EQ(LoadUpdateVerList(installed, catalogue, Groups("engine"), base_), 2);
  EXPECT_EQ(OfferedOf(installed), (std::vector<Offered>{{"em001_64", 0, 1}, {"em005_64", 0, 1}}));
}

TEST_F(OfferedModules, OnlyEnginesOfTheWantedPlatformsWithAModuleNameAreOffered) {
  const Catalogue catalogue = InMemory(
      EngineSection("x86", "group=g\r\nplatform=x86\r\ntype=em001\r\n") +
      EngineSection("x64", "group=g\r\nplatform=X64\r\ntype=em001_64\r\n") +
      EngineSection("arm64", "group=g\r\nplatform=arm64\r\ntype=em001_a64\r\n") +
      EngineSection("sparc", "group=g\r\nplatform=sparc\r\ntype=em001_s\r\n") +
      EngineSection("no type", "group=g\r\nplatform=x64\r\ntype=\r\n") +
      "[dll]\r\ncategory=dll\r\ngroup=g\r\nplatform=x64\r\ntype=lib\r\n"
      "[upper]\r\ncategory=ENGINE\r\ngroup=g\r\nplatform=x64\r\ntype=em002_64\r\n"
      "[CONTINUOUS_x]\r\ncategory=engine\r\ngroup=g\r\nplatform=x64\r\ntype=em003_64\r\n"
      "[REVERSE_x]\r\ncategory=engine\r\ngroup=g\r\nplatform=x64\r\ntype=em004_64\r\n"
      "[PRELIMINARY_x]\r\ncategory=engine\r\ngroup=g\r\nplatform=x64\r\ntype=em005_64\r\n");
  const CGroupList groups = Groups("g");
  CInstalledList installed;
  const uint32_t ids[] = {0, 1};
  EXPECT_EQ(AddOfferedEngineModules(installed, catalogue, groups, base_, ids), 3);
  EXPECT_EQ(OfferedOf(installed),
            (std::vector<Offered>{{"em001", 0, 0}, {"em001_64", 0, 1}, {"em002_64", 0, 1}}));
  CInstalledList this_build;
  EXPECT_EQ(LoadUpdateVerList(this_build, catalogue, groups, base_), 2);
}

// A module already in the list is not added again; its build is that of the
// first installed module file of its name and platform.
TEST_F(OfferedModules, TheBuildComesFromTheFirstBaseEntryOfTheModule) {
  const Catalogue catalogue =
      InMemory(EngineSection("a", "group=g\r\nplatform=x64\r\ntype=em001_64\r\nbuild=500\r\n") +
               EngineSection("a again", "group=g\r\nplatform=x64\r\ntype=EM001_64\r\n") +
               EngineSection("b", "group=g\r\nplatform=x64\r\ntype=em002_64\r\n") +
               EngineSection("c", "group=g\r\nplatform=x64\r\ntype=em003_64\r\n"));
  const struct {
    const char* module;
    uint32_t platform;
    uint32_t category;
    uint64_t build;
    uint32_t flags;
  } entries[] = {
      {"em001_64", 0, kCategoryEngine, 11, 0},  // another platform
      {"em001_64", 1, kCategoryDll, 12, 0},     // another category
      {"EM001_64", 1, kCategoryEngine, 13, kComponentDropped},
      {"em001_64", 1, kCategoryEngine, 14, kComponentModuleFile},
      {"em002_64", 1, kCategoryEngine, 21, kComponentModuleFile},
  };
  for (const auto& e : entries) {
    _COMPONENT_INFO record;
    SafeStrCopy(record.module, sizeof record.module, e.module);
    record.platform = e.platform;
    record.category = e.category;
    record.build = e.build;
    record.flags = e.flags;
    base_.Add(record);
  }
  CInstalledList installed;
  EXPECT_EQ(LoadUpdateVerList(installed, catalogue, Groups("g"), base_), 3);
  EXPECT_EQ(OfferedOf(installed),
            (std::vector<Offered>{{"em001_64", 13, 1}, {"em002_64", 21, 1}, {"em003_64", 0, 1}}));
  EXPECT_EQ(LoadUpdateVerList(installed, catalogue, Groups("g"), base_), 3);
}

TEST_F(OfferedModules, ACatalogueThatCannotBeLoadedOffersNothing) {
  CInstalledList installed;
  installed.Add(_INSTALLED_COMPONENT_INFO{});
  EXPECT_EQ(LoadUpdateVerList(installed, FromTestFile("missing.ver"), Groups("g"), base_), 1);
}

}  // namespace
}  // namespace upd::test
