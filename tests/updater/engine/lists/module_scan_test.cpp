#include "updater/engine/lists/module_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../package_fixture.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

using upd::testhost::EngineStandIn;
using upd::testhost::EventHost;
using upd::testhost::ModuleFacts;
using upd::testhost::ModuleFileText;

class ModuleScan : public PackageFolderTest {
 protected:
  void SetUp() override {
    PackageFolderTest::SetUp();
    engine_.ServeThrough(host_);
  }
  std::string Updfiles(const std::string& name = "") const {
    return name.empty() ? Path("updfiles") : Path("updfiles/" + name);
  }
  std::string Modules(const std::string& name) const { return Path("modules/" + name); }
  void WriteModule(const std::string& path, const ModuleFacts& facts) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, ModuleFileText(facts, "module bytes"));
  }

  EventHost host_;
  EngineStandIn engine_;
};

// Module files rebuilt for the reverse channel are read through the engine;
// one it cannot read is deleted.
TEST_F(ModuleScan, BaseNonNupsAreReadThroughTheEngine) {
  WriteModule(Updfiles("base_nonnups/zel00000001.nup"), {"em001_64", 3, 1, 120, "1.2.0"});
  WriteModule(Updfiles("base_nonnups/zel00000002.nup"), {"em002", 3, 0, 7, "0.7"});
  WriteFile(Updfiles("base_nonnups/zel00000003.nup"), "not a module");
  WriteFile(Updfiles("base_nonnups/zel00000001.nup.raw"), "kept");
  fs::create_directories(Updfiles("base_nonnups/folder.nup"));

  CListBase list;
  list.Add(_COMPONENT_INFO());
  EXPECT_EQ(ScanBaseNonNups(list, host_.settings(), Updfiles().c_str()), 3);
  ASSERT_EQ(list.GetSize(), 3);
  EXPECT_STREQ(list[1].module, "em001_64");
  EXPECT_EQ(list[1].build, 120u);
  EXPECT_EQ(list[1].platform, 1u);
  EXPECT_EQ(list[1].localFile, Updfiles("base_nonnups/zel00000001.nup"));
  EXPECT_EQ(list[1].flags, kComponentModuleFile);
  EXPECT_EQ(list[1].category, kCategoryEngine);
  EXPECT_STREQ(list[2].module, "em002");
  EXPECT_FALSE(fs::exists(Updfiles("base_nonnups/zel00000003.nup")));
  EXPECT_TRUE(fs::exists(Updfiles("base_nonnups/zel00000001.nup.raw")));
  EXPECT_TRUE(fs::is_directory(Updfiles("base_nonnups/folder.nup")));
  EXPECT_EQ(engine_.counts().requests, 1u);
  EXPECT_TRUE(engine_.counts().Balanced());
}

TEST_F(ModuleScan, WithoutAnEngineNothingIsReadNorDeleted) {
  WriteModule(Updfiles("base_nonnups/a.nup"), {"em001_64", 3, 1, 120, "1.2.0"});
  WriteFile(Updfiles("base_nonnups/b.nup"), "not a module");
  WriteModule(Modules("em001.dat"), {"em001", 3, 1, 120, "1.2.0"});
  EventHost without_engine;
  EventHost no_callback;
  no_callback.settings()->eventCallback = nullptr;
  for (EventHost* host : {&without_engine, &no_callback}) {
    CListBase list;
    EXPECT_EQ(ScanBaseNonNups(list, host->settings(), Updfiles().c_str()), 0);
    list.Add(_COMPONENT_INFO());
    ScanInstalledModules(list, host->settings(), Path("modules").c_str());
    EXPECT_EQ(list.GetSize(), 1);
    ScanInstalledModulesEx(list, host->settings(), Path("modules").c_str());
    EXPECT_EQ(list.GetSize(), 0);
  }
  // The host was asked but gave nothing, so nothing is handed back.
  EXPECT_EQ(without_engine.EventsOf(UPD_EVENT_ENGINE).size(), 3u);
  EXPECT_TRUE(without_engine.EventsOf(UPD_EVENT_ENGINE_END).empty());
  EXPECT_TRUE(no_callback.events().empty());
  EXPECT_TRUE(fs::exists(Updfiles("base_nonnups/b.nup")));
}

TEST_F(ModuleScan, InstalledModulesAreTheEmDatFilesOfTheModulesFolder) {
  WriteModule(Modules("em001.dat"), {"em001", 3, 1, 120, "1.2.0"});
  WriteModule(Modules("em002_64.dat"), {"em002_64", 3, 1, 7, "0.7"});
  WriteModule(Modules("em003.dat.old"), {"em003", 3, 1, 1, "old"});
  WriteModule(Modules("other.dat"), {"other", 3, 1, 1, "other"});
  WriteFile(Modules("em004.dat"), "the engine cannot read this");
  // Neither is a module file: reading the pipe would wait for a writer forever.
  ASSERT_EQ(mkfifo(Modules("em005.dat").c_str(), 0600), 0);
  fs::create_directory(Modules("em006.dat"));

  CListBase list;
  list.Add(_COMPONENT_INFO());
  ScanInstalledModules(list, host_.settings(), Path("modules").c_str());
  EXPECT_EQ(SeenOf(list), (std::vector<Seen>{
                              {"", "", 0},
                              {"em00164", Modules("em001.dat"), kComponentModuleFile},
                              {"em002_64", Modules("em002_64.dat"), kComponentModuleFile},
                          }));
  EXPECT_TRUE(fs::exists(Modules("em004.dat")));

  ScanInstalledModulesEx(list, host_.settings(), Path("modules").c_str());
  EXPECT_EQ(list.GetSize(), 2);
  EXPECT_STREQ(list[0].version, "1.2.0");
  EXPECT_EQ(list[0].build, 120u);
  EXPECT_EQ(list[0].engineType, 3u);
  EXPECT_TRUE(engine_.counts().Balanced());
  EXPECT_EQ(engine_.counts().requests, 2u);
}

}  // namespace
}  // namespace upd::test
