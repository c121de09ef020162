#include "updater/engine/install/install_staging.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/util/update_errors.h"

namespace upd::test {
namespace {

const TestModule kEm1{"em001"};
const TestModule kEm2{"em002"};
const TestModule kEm3{"em003"};

// The installation state driven directly with finished files, as the package
// chains hand them over.
class InstallStagingTest : public InstallFixture {
 protected:
  // A finished module file in the installation's temporary place.
  std::string Finished(const TestModule& m, uint32_t build) {
    const std::string path = dir_.file("work-" + std::to_string(serial_++));
    WriteFile(path, m.Content(build));
    return path;
  }
  UPD_ERROR Stage(ModuleInstallState& state, const TestModule& m, uint32_t build,
                  InstallMode mode = InstallMode::kStaged) {
    return state.InstallModuleFile(Finished(m, build).c_str(), m.file().c_str(), m.module().c_str(),
                                   build, 1, mode);
  }
};

TEST_F(InstallStagingTest, CommitReplacesEachTargetInOneStepAndKeepsTheOldFileMeanwhile) {
  PutInstalled(kEm1, 100);
  std::vector<std::string> seen;
  {
    ModuleInstallState state(host_binding_.modulesFolder);
    ASSERT_EQ(Stage(state, kEm1, 200), kUpdOk);
    EXPECT_EQ(ReadFile(Modules() + "/Modules/em001_64.dat"), kEm1.Content(200));
    EXPECT_EQ(ModeOf(Modules() + "/Modules/em001_64.dat"), 0644u);
    EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(100));
    SetInstallStepObserver([&](InstallStep, const char*, const char* to) {
      if (to != ModulePath(kEm1)) return;
      // Just before the new file takes the name, both names hold the old one.
      seen.push_back(ReadFile(ModulePath(kEm1)));
      seen.push_back(ReadFile(ModulePath(kEm1) + ".old"));
    });

    ASSERT_EQ(state.CommitAll(), kUpdOk);

    EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(200));
    EXPECT_EQ(ReadFile(ModulePath(kEm1) + ".old"), kEm1.Content(100));
    EXPECT_EQ(ModeOf(ModulePath(kEm1)), 0644u);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{kEm1.Content(100), kEm1.Content(100)}));
  // After a commit the old files and the staging folder go with the state.
  EXPECT_EQ(ModulesTree().size(), 1u);
}

TEST_F(InstallStagingTest, RollbackRemovesAModuleThatWasNotThereBefore) {
  {
    ModuleInstallState state(host_binding_.modulesFolder);
    ASSERT_EQ(Stage(state, kEm1, 200), kUpdOk);
    ASSERT_EQ(state.CommitAll(), kUpdOk);
    EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(200));
    EXPECT_EQ(state.RollbackAll(), kUpdOk);
    EXPECT_FALSE(fs::exists(ModulePath(kEm1)));
  }
  EXPECT_TRUE(ModulesTree().empty());
}

// A rollback that cannot give a module back its old file leaves that file
// under ".old", the only copy left, and reports the failure.
TEST_F(InstallStagingTest, RollbackThatCannotRestoreKeepsTheOldFile) {
  PutInstalled(kEm1, 100);
  PutInstalled(kEm2, 100);
  fs::create_directories(ModulePath(kEm3));
  {
    ModuleInstallState state(host_binding_.modulesFolder);
    for (const TestModule& m : {kEm1, kEm2, kEm3}) ASSERT_EQ(Stage(state, m, 200), kUpdOk);
    EXPECT_EQ(state.CommitAll(), kUpdMoveFailed);
    // Something takes em001's place before the rollback reaches it.
    fs::remove(ModulePath(kEm1));
    fs::create_directories(ModulePath(kEm1) + "/busy");

    EXPECT_EQ(state.RollbackAll(), kUpdMoveFailed);

    EXPECT_EQ(ReadFile(ModulePath(kEm2)), kEm2.Content(100));
  }
  EXPECT_EQ(ReadFile(ModulePath(kEm1) + ".old"), kEm1.Content(100));
  EXPECT_FALSE(fs::exists(ModulePath(kEm2) + ".old"));
  EXPECT_TRUE(fs::is_directory(ModulePath(kEm3)));
  EXPECT_FALSE(fs::exists(Modules() + "/Modules"));
}

// A target that is missing has nothing to keep; one that is there but cannot
// be kept stops the commit before it is replaced.
TEST_F(InstallStagingTest, OldFileThatCannotBeKeptStopsTheCommit) {
  PutInstalled(kEm1, 100);
  // An ".old" that is a folder cannot be replaced by the kept file.
  fs::create_directories(ModulePath(kEm1) + ".old/x");
  ModuleInstallState state(host_binding_.modulesFolder);
  ASSERT_EQ(Stage(state, kEm2, 7), kUpdOk);
  ASSERT_EQ(Stage(state, kEm1, 200), kUpdOk);

  EXPECT_EQ(state.CommitAll(), kUpdMoveFailed);

  EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(100));
  EXPECT_EQ(ReadFile(ModulePath(kEm2)), kEm2.Content(7));
  EXPECT_EQ(state.RollbackAll(), kUpdOk);
  EXPECT_FALSE(fs::exists(ModulePath(kEm2)));
}

TEST_F(InstallStagingTest, NamesThatAreNotPlainFileNamesAreRefused) {
  const char* kNames[] = {"",
                          ".",
                          "..",
                          "../em001_64.dat",
                          "sub/em001_64.dat",
                          "sub\\em001_64.dat",
                          "/tmp/em001_64.dat"};
  for (const InstallMode mode : {InstallMode::kStaged, InstallMode::kDirect}) {
    ModuleInstallState state(host_binding_.modulesFolder);
    for (const char* name : kNames) {
      const std::string file = Finished(kEm1, 200);
      EXPECT_EQ(state.InstallModuleFile(file.c_str(), name, "em001_64", 200, 1, mode), kUpdBadFile)
          << name;
      EXPECT_TRUE(fs::exists(file)) << name;
    }
    EXPECT_TRUE(state.Records().empty());
  }
  EXPECT_TRUE(ModulesTree().empty());
  EXPECT_FALSE(fs::exists(dir_.file("em001_64.dat")));
}

TEST_F(InstallStagingTest, EngineFolderIsWhereTheLoaderWasPlaced) {
  const TestModule loader{"loader"};
  struct Case {
    const TestModule& module;
    InstallMode mode;
    std::string folder;
  };
  const Case kCases[] = {
      {kEm1, InstallMode::kStaged, ""},
      {loader, InstallMode::kStaged, Modules() + "/Modules"},
      {loader, InstallMode::kDirect, Modules()},
  };
  for (const Case& c : kCases) {
    ModuleInstallState state(host_binding_.modulesFolder);
    ASSERT_EQ(Stage(state, c.module, 5, c.mode), kUpdOk);
    EXPECT_EQ(state.EngineFolder(), c.folder) << c.module.name;
  }
  // Placed directly, the loader is in the modules folder with its mode.
  EXPECT_EQ(ModeOf(Modules() + "/loader64.dat"), 0644u);
}

struct PendingCase {
  const char* name;
  std::vector<_COMPONENT_INFO> update;
  std::vector<_COMPONENT_INFO> continuous;
  bool expected;
};

_COMPONENT_INFO ListEntry(const char* module, int32_t level, uint32_t build, uint32_t base,
                          uint32_t flags = kComponentInstall) {
  _COMPONENT_INFO entry;
  SafeStrCopy(entry.module, sizeof entry.module, module);
  entry.platform = 1;
  entry.category = kCategoryEngine;
  entry.level = level;
  entry.build = build;
  entry.base = base;
  entry.flags = flags;
  return entry;
}

// The state holds em001_64 at 201 and em002_64 at 7.
TEST_F(InstallStagingTest, AllPendingInstalled) {
  const std::vector<PendingCase> kCases = {
      {"chain reaching the prepared build",
       {ListEntry("em001_64", 0, 200, 0), ListEntry("em001_64", 1, 201, 200)},
       {},
       true},
      {"module name in another case", {ListEntry("EM001_64", 0, 201, 0)}, {}, true},
      {"chain reaching another build",
       {ListEntry("em001_64", 0, 200, 0), ListEntry("em001_64", 1, 202, 200)},
       {},
       false},
      {"pending module not prepared", {ListEntry("em003_64", 0, 1, 0)}, {}, false},
      {"module not pending", {ListEntry("em003_64", 0, 1, 0, kComponentSelected)}, {}, true},
      {"continuous entry at the prepared build", {}, {ListEntry("em002_64", 1, 7, 3)}, true},
      {"continuous entry at another build", {}, {ListEntry("em002_64", 1, 8, 3)}, false},
  };
  ModuleInstallState state(host_binding_.modulesFolder);
  ASSERT_EQ(Stage(state, kEm1, 201), kUpdOk);
  ASSERT_EQ(Stage(state, kEm2, 7), kUpdOk);
  for (const PendingCase& c : kCases) {
    CUpdateList update;
    CContinuousList continuous;
    for (const auto& entry : c.update) update.Add(entry);
    for (const auto& entry : c.continuous) continuous.Add(entry);
    EXPECT_EQ(state.AllPendingInstalled(update, continuous), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace upd::test
