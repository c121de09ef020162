#include "updater/engine/package/local_packages.h"

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

struct Seen {
  std::string module;
  std::string file;
  uint32_t flags;
};

bool operator==(const Seen& a, const Seen& b) {
  return a.module == b.module && a.file == b.file && a.flags == b.flags;
}

std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << s.module << " " << s.file << " 0x" << std::hex << s.flags;
}

std::vector<Seen> SeenOf(const CListBase& list) {
  std::vector<Seen> out;
  for (const _COMPONENT_INFO& entry : list) out.push_back({entry.module, entry.file, entry.flags});
  return out;
}

class LocalPackages : public PackageFolderTest {
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

constexpr uint32_t kLocal = kComponentHasBuild | kComponentPresent;

TEST_F(LocalPackages, NupFoldersGiveTheirEnginePackagesWithTheirFolderFlags) {
  ASSERT_TRUE(MakePackage(Updfiles("root.nup"), EngineKeys("em001_64")));
  ASSERT_TRUE(MakePackage(Updfiles("continuous/c.nup"), EngineKeys("em002_64", {"build=2"})));
  ASSERT_TRUE(MakePackage(Updfiles("preliminary/p.nup"), EngineKeys("em003_64", {"build=3"})));
  ASSERT_TRUE(MakePackage(Updfiles("reverse/r.nup"), EngineKeys("em004_64", {"build=4"})));
  ASSERT_TRUE(MakePackage(Updfiles("tempMirror/m.nup"), EngineKeys("em005_64")));
  ASSERT_TRUE(MakePackage(Updfiles("dll.nup"),
                          {"category=dll", "platform=x64", "type=lib", "filename=lib.so"}));
  WriteFile(Updfiles("continuous/corrupt.nup"), "not a package");

  CListBase list;
  list.Add(_COMPONENT_INFO());
  EXPECT_EQ(ScanNupFolders(list, Updfiles().c_str()), 4u);
  EXPECT_EQ(SeenOf(list),
            (std::vector<Seen>{
                {"", "", 0},
                {"em001_64", Updfiles("root.nup"), kLocal},
                {"em002_64", Updfiles("continuous/c.nup"), kLocal},
                {"em003_64", Updfiles("preliminary/p.nup"),
                 kComponentHasBuild | kComponentPresent | kComponentPreliminaryFolder},
                {"em004_64", Updfiles("reverse/r.nup"), kLocal},
            }));
  EXPECT_TRUE(fs::exists(Updfiles("dll.nup")));
  EXPECT_FALSE(fs::exists(Updfiles("continuous/corrupt.nup")));
}

TEST_F(LocalPackages, TheMirrorScansItsFoldersForEveryCategoryOnce) {
  ASSERT_TRUE(MakePackage(Updfiles("root.nup"), EngineKeys("em001_64", {"build=1"})));
  fs::create_directories(Updfiles("tempMirror"));
  fs::copy_file(Updfiles("root.nup"), Updfiles("tempMirror/copy.nup"));
  ASSERT_TRUE(MakePackage(
      Updfiles("tempMirrorPCU/app.nup"),
      {"category=component", "platform=winnt64", "type=app", "filename=app.bin", "version=1.2"}));
  ASSERT_TRUE(MakePackage(Updfiles("reverse/lib.nup"),
                          {"category=dll", "platform=x64", "type=lib", "filename=lib.so"}));
  ASSERT_TRUE(MakePackage(Updfiles("preliminary/p.nup"), EngineKeys("em003_64")));

  CListBase list;
  EXPECT_EQ(ScanMirrorNupFolders(list, Updfiles().c_str()), 3u);
  EXPECT_EQ(SeenOf(list), (std::vector<Seen>{
                              {"em001_64", Updfiles("root.nup"), kLocal},
                              {"lib", Updfiles("reverse/lib.nup"), kLocal},
                              {"app", Updfiles("tempMirrorPCU/app.nup"), kLocal},
                          }));
}

// Module files rebuilt for the reverse channel are read through the engine;
// one it cannot read is deleted.
TEST_F(LocalPackages, BaseNonNupsAreReadThroughTheEngine) {
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
  EXPECT_EQ(list[1].file, Updfiles("base_nonnups/zel00000001.nup"));
  EXPECT_EQ(list[1].flags, kComponentModuleFile);
  EXPECT_EQ(list[1].category, kCategoryEngine);
  EXPECT_STREQ(list[2].module, "em002");
  EXPECT_FALSE(fs::exists(Updfiles("base_nonnups/zel00000003.nup")));
  EXPECT_TRUE(fs::exists(Updfiles("base_nonnups/zel00000001.nup.raw")));
  EXPECT_TRUE(fs::is_directory(Updfiles("base_nonnups/folder.nup")));
  EXPECT_EQ(engine_.counts().requests, 1u);
  EXPECT_TRUE(engine_.counts().Balanced());
}

TEST_F(LocalPackages, WithoutAnEngineNothingIsReadNorDeleted) {
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

TEST_F(LocalPackages, InstalledModulesAreTheEmDatFilesOfTheModulesFolder) {
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
