#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <future>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/util/update_errors.h"
#include "support/peer_process.h"
#include "updater/api/context.h"
#include "updater/api/run_binding.h"
#include "updater/engine/install/install_lock.h"
#include "updater/engine/install/module_installer.h"

namespace upd::test {
namespace {

// A module of the scenario with the build installed before the run and the
// build its chain reaches.
struct KillModule {
  TestModule module;
  uint32_t installed;
  std::vector<PackageRecipe> chain;
  uint32_t offered() const { return chain.back().build; }
};

// Where a whole run is when the step observer is called for the nth time: the
// loader staged, em001's two patch steps, em001 and em002 staged, then the
// commits of the loader, em001 and em002.
constexpr size_t kStepCount = 8;
// Before em001's new file goes in place: the loader is committed (its old file
// kept as ".old"), em001's old file is kept, em001 and em002 are staged.
constexpr size_t kMidCommit = 6;

// A process killed at any point of an installation leaves every module file
// whole, old or new; what it leaves beside them goes with the next
// installation or UpdCleanupModules, unless an installation is still alive.
class InstallKillTest : public InstallFixture {
 protected:
  void SetUp() override {
    InstallFixture::SetUp();
    for (const KillModule& m : modules_) {
      for (const PackageRecipe& recipe : m.chain) {
        entries_.push_back(Entry(m.module, recipe, MakePackage(m.module, recipe)));
      }
    }
  }

  void TearDown() override {
    if (second_ != nullptr) {
      second_->settings = nullptr;
      UpdUninitialize(second_);
    }
    if (cleanup_ != nullptr) UpdUninitialize(cleanup_);
    InstallFixture::TearDown();
  }

  void ResetModules() {
    fs::remove_all(Modules());
    fs::create_directories(Modules());
    for (const KillModule& m : modules_) PutInstalled(m.module, m.installed);
  }

  // The lists as the list builder leaves them for the run.
  void FillLists() {
    ClearLists();
    for (const _COMPONENT_INFO& entry : entries_) lists_.updateList.Add(entry);
    for (const KillModule& m : modules_) AddInstalled(m.module, m.installed);
  }

  void ClearLists() {
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
  }

  // An installation with nothing to install: it still takes the lock first.
  UPD_ERROR InstallNothing() {
    ClearLists();
    return Install();
  }

  // UpdCleanupModules on context, else on a library context of the
  // fixture's data and modules folders.
  UPD_ERROR Cleanup(UPDATER_CONTEXT* context = nullptr) {
    if (context == nullptr) context = CleanupContext();
    return UpdCleanupModules(context, host_.settings());
  }

  // Runs the installation in a child that calls at_step with the number of
  // each step it reaches, and exits 0 when the installation succeeds. Its
  // wait status.
  int InstallInChild(const std::function<void(size_t)>& at_step) {
    const pid_t child = fork();
    if (child == 0) {
      size_t step = 0;
      SetInstallStepObserver([&](InstallStep, const char*, const char*) { at_step(step++); });
      FillLists();
      _exit(Install() == kUpdOk ? 0 : 1);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return status;
  }

  // True when the child was killed at its step kill_at.
  bool InstallKilledAt(size_t kill_at) {
    const int status = InstallInChild([kill_at](size_t step) {
      if (step == kill_at) raise(SIGKILL);
    });
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& [name, content] : ModulesTree()) names.insert(name);
    return names;
  }

  bool HasTempFolder() const {
    for (const auto& [name, content] : ModulesTree()) {
      if (name.starts_with("temp") && content == "<folder>") return true;
    }
    return false;
  }

  // Every file under the modules folder that bears a module's name holds
  // that module whole: at the installed or the offered build (the staged
  // and kept copies too).
  void ExpectNoPartialModule() {
    for (const auto& [name, content] : ModulesTree()) {
      if (content == "<folder>") continue;
      for (const KillModule& m : modules_) {
        const std::string base = fs::path(name).filename().string();
        if (base != m.module.file() && base != m.module.file() + ".old") continue;
        EXPECT_TRUE(content == m.module.Content(m.installed) ||
                    content == m.module.Content(m.offered()))
            << name << " holds " << content.size() << " bytes";
      }
    }
    for (const KillModule& m : modules_) {
      EXPECT_TRUE(fs::exists(ModulePath(m.module))) << m.module.file();
    }
  }

  // Nothing but the module files: no temporary folder, no staging folder,
  // no ".old" copy, no lock file.
  void ExpectOnlyModuleFiles() {
    std::set<std::string> expected;
    for (const KillModule& m : modules_) expected.insert(m.module.file());
    EXPECT_EQ(Names(), expected);
  }

  void ExpectOfferedBuilds() {
    for (const KillModule& m : modules_) {
      EXPECT_EQ(ReadFile(ModulePath(m.module)), m.module.Content(m.offered())) << m.module.file();
      EXPECT_EQ(ModeOf(ModulePath(m.module)), 0644u);
    }
  }

  UPDATER_CONTEXT* CleanupContext() {
    if (cleanup_ == nullptr) {
      cleanup_ = UpdInitialize(dir_.file("data").c_str(), Modules().c_str(), "1.0", "host");
      EXPECT_NE(cleanup_, nullptr);
    }
    return cleanup_;
  }

  UPDATER_CONTEXT* SecondContext() {
    fs::create_directories(dir_.file("data2"));
    second_ = UpdInitialize(dir_.file("data2").c_str(), Modules().c_str(), "1.0", "host");
    EXPECT_NE(second_, nullptr);
    if (second_ != nullptr) second_->settings = host_.settings();
    return second_;
  }

  const std::vector<KillModule> modules_ = {
      {TestModule{"loader"}, 10, {Full(11)}},
      {TestModule{"em001"}, 100, {Full(101), Patch(1, 101, 102), Patch(2, 102, 103)}},
      {TestModule{"em002"}, 200, {Full(201)}},
  };
  const KillModule& loader_ = modules_[0];
  const KillModule& em001_ = modules_[1];
  std::vector<_COMPONENT_INFO> entries_;
  UPDATER_CONTEXT* second_ = nullptr;
  UPDATER_CONTEXT* cleanup_ = nullptr;
};

TEST_F(InstallKillTest, TheStepsOfAWholeRunAreTheOnesTheKillsAimAt) {
  std::vector<InstallStep> steps;
  SetInstallStepObserver(
      [&](InstallStep step, const char*, const char*) { steps.push_back(step); });
  ResetModules();
  FillLists();
  ASSERT_EQ(Install(), kUpdOk);
  const std::vector<InstallStep> kExpected = {InstallStep::kRename,      InstallStep::kEnginePatch,
                                              InstallStep::kEnginePatch, InstallStep::kRename,
                                              InstallStep::kRename,      InstallStep::kRename,
                                              InstallStep::kRename,      InstallStep::kRename};
  ASSERT_EQ(steps.size(), kStepCount);
  EXPECT_EQ(steps, kExpected);
  ExpectOnlyModuleFiles();
}

TEST_F(InstallKillTest, KilledAtEachEngineCallAndRenameThenTheNextRunLeavesOnlyTheModules) {
  for (size_t kill_at = 0; kill_at < kStepCount; ++kill_at) {
    SCOPED_TRACE("killed at step " + std::to_string(kill_at));
    ResetModules();
    ASSERT_TRUE(InstallKilledAt(kill_at));
    ExpectNoPartialModule();
    EXPECT_TRUE(HasTempFolder());

    FillLists();
    ASSERT_EQ(Install(), kUpdOk);
    ExpectOfferedBuilds();
    ExpectOnlyModuleFiles();
  }
}

TEST_F(InstallKillTest, KilledAtEachEngineCallAndRenameThenCleanupLeavesOnlyWholeModules) {
  for (size_t kill_at = 0; kill_at < kStepCount; ++kill_at) {
    SCOPED_TRACE("killed at step " + std::to_string(kill_at));
    ResetModules();
    ASSERT_TRUE(InstallKilledAt(kill_at));
    // The staging folder is made before the first step.
    ASSERT_TRUE(fs::exists(Modules() + "/Modules"));

    EXPECT_EQ(Cleanup(), kUpdOk);
    ExpectOnlyModuleFiles();
    ExpectNoPartialModule();
    // The commit puts modules in place in order: those before the kill are new.
    for (size_t i = 0; i < modules_.size(); ++i) {
      const KillModule& m = modules_[i];
      const bool committed = kill_at > kStepCount - modules_.size() + i;
      EXPECT_EQ(ReadFile(ModulePath(m.module)),
                m.module.Content(committed ? m.offered() : m.installed))
          << m.module.file();
    }

    FillLists();
    ASSERT_EQ(Install(), kUpdOk);
    ExpectOfferedBuilds();
    ExpectOnlyModuleFiles();
  }
}

// Layouts that a dead installation leaves where its targets were moved away
// (not linked) before their new files went in place: the kept copy is then
// the only copy of the module.
struct DeadLayout {
  const char* name;
  // The modules whose target is missing and kept as ".old".
  std::vector<size_t> moved;
  // The modules already committed, their old files kept as ".old".
  std::vector<size_t> committed;
};

void PrintTo(const DeadLayout& layout, std::ostream* out) { *out << layout.name; }

class InstallDeadLayoutTest : public InstallKillTest,
                              public ::testing::WithParamInterface<DeadLayout> {
 protected:
  void LayOut() {
    ResetModules();
    for (const size_t i : GetParam().moved) {
      const KillModule& m = modules_[i];
      fs::rename(ModulePath(m.module), ModulePath(m.module) + ".old");
      WriteFile(Modules() + "/Modules/" + m.module.file(), m.module.Content(m.offered()));
    }
    for (const size_t i : GetParam().committed) {
      const KillModule& m = modules_[i];
      fs::rename(ModulePath(m.module), ModulePath(m.module) + ".old");
      WriteFile(ModulePath(m.module), m.module.Content(m.offered()));
    }
    fs::create_directories(Modules() + "/Modules");
    fs::create_directories(Modules() + "/temp00C0FFEE/part.d");
    WriteFile(Modules() + "/temp00C0FFEE/NUP.a1b2c3", "unpacked payload");
    WriteFile(Modules() + "/temp00C0FFEE/part.d/NUP.d4e5f6.raw", "engine output");
  }

  // What module i holds once recovered: its old file, unless it was committed.
  std::string Recovered(size_t i) const {
    const KillModule& m = modules_[i];
    const std::vector<size_t>& committed = GetParam().committed;
    const bool was_committed = std::find(committed.begin(), committed.end(), i) != committed.end();
    return m.module.Content(was_committed ? m.offered() : m.installed);
  }

  void ExpectRecovered() {
    ExpectOnlyModuleFiles();
    for (size_t i = 0; i < modules_.size(); ++i) {
      EXPECT_EQ(ReadFile(ModulePath(modules_[i].module)), Recovered(i))
          << modules_[i].module.file();
    }
  }
};

TEST_P(InstallDeadLayoutTest, CleanupPutsEveryMissingModuleBackFromItsOldCopy) {
  LayOut();
  EXPECT_EQ(Cleanup(), kUpdOk);
  ExpectRecovered();
}

TEST_P(InstallDeadLayoutTest, TheNextInstallationPutsThemBackBeforeItsFirstStep) {
  LayOut();
  std::map<std::string, std::string> at_first_step;
  SetInstallStepObserver([&](InstallStep, const char*, const char*) {
    if (at_first_step.empty()) at_first_step = ModulesTree();
  });
  FillLists();
  ASSERT_EQ(Install(), kUpdOk);
  SetInstallStepObserver(nullptr);
  for (size_t i = 0; i < modules_.size(); ++i) {
    const std::string file = modules_[i].module.file();
    const auto found = at_first_step.find(file);
    ASSERT_NE(found, at_first_step.end()) << file;
    EXPECT_EQ(found->second, Recovered(i)) << file;
    EXPECT_EQ(at_first_step.count(file + ".old"), 0u);
  }
  EXPECT_EQ(at_first_step.count("temp00C0FFEE"), 0u);
  ExpectOfferedBuilds();
  ExpectOnlyModuleFiles();
}

TEST_P(InstallDeadLayoutTest, AnInstallationWithNothingToInstallStillRecovers) {
  LayOut();
  EXPECT_EQ(InstallNothing(), kUpdNothingNew);
  ExpectRecovered();
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, InstallDeadLayoutTest,
    ::testing::Values(DeadLayout{"OneTargetMovedAway", {1}, {}},
                      DeadLayout{"EveryTargetMovedAway", {0, 1, 2}, {}},
                      DeadLayout{"LoaderCommittedEm001MovedAway", {1}, {0}},
                      DeadLayout{"AllCommittedBeforeTheCleanUp", {}, {0, 1, 2}}),
    [](const ::testing::TestParamInfo<DeadLayout>& info) { return info.param.name; });

// A live installation in another process, stopped in the middle of its
// commit: neither a clean-up nor another installation touches its files,
// and it completes once it goes on.
TEST_F(InstallKillTest, ALiveInstallationInAnotherProcessKeepsItsFiles) {
  ResetModules();
  int ready[2];
  int go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    close(go[1]);
    size_t step = 0;
    SetInstallStepObserver([&](InstallStep, const char*, const char*) {
      if (step++ != kMidCommit) return;
      char c = 'p';
      if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1) _exit(3);
    });
    FillLists();
    _exit(Install() == kUpdOk ? 0 : 1);
  }
  close(ready[1]);
  close(go[0]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1) << "the child never reached the commit";

  const auto live = ModulesTree();
  EXPECT_TRUE(live.count(loader_.module.file() + ".old"));
  EXPECT_TRUE(live.count("Modules/" + em001_.module.file()));
  EXPECT_TRUE(HasTempFolder());
  EXPECT_EQ(Cleanup(), kUpdBusy);
  EXPECT_EQ(InstallNothing(), kUpdNothingNew);
  EXPECT_EQ(ModulesTree(), live);

  ASSERT_EQ(write(go[1], &c, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(ready[0]);
  close(go[1]);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ExpectOfferedBuilds();
  ExpectOnlyModuleFiles();
}

// The lock alone, held shared by another program (flock(1)) as a live
// installation holds it: the leftovers stay until the holder is gone.
TEST_F(InstallKillTest, LeftoversStayWhileAnotherProcessHoldsTheLock) {
  ResetModules();
  fs::rename(ModulePath(em001_.module), ModulePath(em001_.module) + ".old");
  WriteFile(Modules() + "/temp0000ABCD/NUP.x1y2z3", "payload");
  fs::create_directories(Modules() + "/Modules");
  const std::string lock = Modules() + "/" + kInstallLockName;
  {
    // The shell keeps the locked descriptor; it ends with the holder.
    PeerProcess holder({"sh", "-c", "exec 9>>\"$0\" && flock --shared 9 && echo held && exec sleep 300",
                        lock});
    ASSERT_TRUE(holder.running());
    ASSERT_EQ(holder.first_line(), "held");
    const auto held = ModulesTree();
    EXPECT_EQ(Cleanup(), kUpdBusy);
    EXPECT_EQ(InstallNothing(), kUpdNothingNew);
    EXPECT_EQ(ModulesTree(), held);
    holder.Stop();
  }
  EXPECT_EQ(Cleanup(), kUpdOk);
  ExpectOnlyModuleFiles();
  EXPECT_EQ(ReadFile(ModulePath(em001_.module)), em001_.module.Content(em001_.installed));
}

// Two contexts of one process on one modules folder: while the first one's
// installation is in its commit, the second one's clean-up and installation
// leave its files alone.
TEST_F(InstallKillTest, AnotherContextOfThisProcessLeavesALiveInstallationAlone) {
  ResetModules();
  UPDATER_CONTEXT* second = SecondContext();
  ASSERT_NE(second, nullptr);
  size_t step = 0;
  bool checked = false;
  SetInstallStepObserver([&](InstallStep, const char*, const char*) {
    if (step++ != kMidCommit) return;
    const auto live = ModulesTree();
    // The host's other thread, working on the other context.
    auto other = std::async(std::launch::async, [&] {
      const UPD_ERROR cleanup = Cleanup(second);
      uint32_t engine_result = 0;
      UpdateRun run = BindRun(*second);
      const UPD_ERROR install = second->moduleInstaller->InstallPackages(
          InstallTargetOf(run, second->backupStore.get()), second->lists.updateList,
          second->lists.continuousList, false, second->installed.installedList, &engine_result,
          InstallMode::kStaged);
      return std::pair{cleanup, install};
    });
    const auto [cleanup, install] = other.get();
    EXPECT_EQ(cleanup, kUpdBusy);
    EXPECT_EQ(install, kUpdNothingNew);
    EXPECT_EQ(ModulesTree(), live);
    checked = true;
  });
  FillLists();
  ASSERT_EQ(Install(), kUpdOk);
  EXPECT_TRUE(checked);
  ExpectOfferedBuilds();
  ExpectOnlyModuleFiles();
}

}  // namespace
}  // namespace upd::test
