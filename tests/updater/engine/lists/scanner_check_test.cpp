#include "updater/engine/lists/scanner_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"
#include "platform/util/strings.h"

namespace {

using upd::test::CatalogueTest;

struct Installed {
  const char* module;
  uint32_t platform;
  uint32_t type;
  uint64_t build;
};

CListBase InstalledList(const std::vector<Installed>& modules) {
  CListBase list;
  for (const Installed& m : modules) {
    _COMPONENT_INFO record;
    SafeStrCopy(record.module, sizeof record.module, m.module);
    record.platform = m.platform;
    record.engineType = m.type;
    record.build = m.build;
    record.flags = kComponentModuleFile;
    list.Add(record);
  }
  return list;
}

std::string EngineSection(const std::string& name, const std::string& module, uint32_t build,
                          const char* category = "engine") {
  return "[" + name + "]\ncategory=" + category + "\nplatform=x64\ntype=" + module +
         "\nbuild=" + std::to_string(build) + "\n";
}

TEST_F(CatalogueTest, ScannerAheadOfCatalogueComparesTheNewestInstalledBuild) {
  const std::vector<Installed> installed = {
      {"scanner64", 1, 3, 1200},
      {"scanner64", 1, 3, 1100},
      {"scanner", 0, 3, 9000},    // another platform
      {"scanner64", 1, 2, 9000},  // not an engine module
  };
  const struct {
    const char* what;
    std::string catalogue;
    std::vector<Installed> installed;
    bool ahead;
  } cases[] = {
      {"catalogue older", EngineSection("SCAN", "scanner64", 1000), installed, true},
      {"catalogue equal", EngineSection("SCAN", "SCANNER64", 1200), installed, false},
      {"catalogue newer", EngineSection("SCAN", "scanner64", 1300), installed, false},
      {"catalogue build 0", EngineSection("SCAN", "scanner64", 0), installed, true},
      {"module not offered", EngineSection("SCAN", "other64", 5000), installed, true},
      {"offered only in a channel section",
       EngineSection("CONTINUOUS_SCAN", "scanner64", 5000) +
           EngineSection("preliminary_SCAN", "scanner64", 5000) +
           EngineSection("Reverse_SCAN", "scanner64", 5000),
       installed, true},
      {"offered only as a dll", EngineSection("SCAN", "scanner64", 5000, "dll"), installed, true},
      {"first plain section counts",
       EngineSection("CONTINUOUS_SCAN", "scanner64", 900) +
           EngineSection("SCAN", "scanner64", 1250) + EngineSection("SCAN2", "scanner64", 900),
       installed, false},
      {"no installed scanner",
       EngineSection("SCAN", "scanner64", 1000),
       {{"scanner", 0, 3, 9000}},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Catalogue catalogue = InMemory(c.catalogue);
    EXPECT_EQ(IsScannerAheadOfCatalogue(catalogue, InstalledList(c.installed)), c.ahead);
  }
  EXPECT_TRUE(IsScannerAheadOfCatalogue(FromTestFile("absent.ver"), InstalledList(installed)));
}

}  // namespace
