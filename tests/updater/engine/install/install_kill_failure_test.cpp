#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/util/update_errors.h"
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

// A process killed at any point of an installation leaves every module file
// whole, old or new, and the next run completes.
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

  void ResetModules() {
    fs::remove_all(Modules());
    fs::create_directories(Modules());
    for (const KillModule& m : modules_) PutInstalled(m.module, m.installed);
  }

  // The lists as the list builder leaves them for the run.
  void FillLists() {
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
    for (const _COMPONENT_INFO& entry : entries_) lists_.updateList.Add(entry);
    for (const KillModule& m : modules_) AddInstalled(m.module, m.installed);
  }

  // Runs the installation in a child that kills itself at its step `kill_at`.
  // True when it was killed there.
  bool InstallKilledAt(size_t kill_at) {
    const pid_t child = fork();
    if (child == 0) {
      size_t step = 0;
      SetInstallStepObserver([&](InstallStep, const char*, const char*) {
        if (step++ == kill_at) raise(SIGKILL);
      });
      FillLists();
      _exit(Install() == kUpdOk ? 0 : 1);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
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

  const std::vector<KillModule> modules_ = {
      {TestModule{"loader"}, 10, {Full(11)}},
      {TestModule{"em001"}, 100, {Full(101), Patch(1, 101, 102), Patch(2, 102, 103)}},
      {TestModule{"em002"}, 200, {Full(201)}},
  };
  std::vector<_COMPONENT_INFO> entries_;
};

TEST_F(InstallKillTest, KilledAtEachEngineCallAndRenameThenTheNextRunCompletes) {
  // The points of a whole run: the staged loader, em001's two patch steps and
  // its staging, em002's staging, then the three commits.
  std::vector<InstallStep> steps;
  SetInstallStepObserver(
      [&](InstallStep step, const char*, const char*) { steps.push_back(step); });
  ResetModules();
  FillLists();
  ASSERT_EQ(Install(), kUpdOk);
  SetInstallStepObserver(nullptr);
  const std::vector<InstallStep> kExpected = {InstallStep::kRename,      InstallStep::kEnginePatch,
                                              InstallStep::kEnginePatch, InstallStep::kRename,
                                              InstallStep::kRename,      InstallStep::kRename,
                                              InstallStep::kRename,      InstallStep::kRename};
  ASSERT_EQ(steps, kExpected);

  for (size_t kill_at = 0; kill_at < steps.size(); ++kill_at) {
    SCOPED_TRACE("killed at step " + std::to_string(kill_at));
    ResetModules();
    ASSERT_TRUE(InstallKilledAt(kill_at));
    ExpectNoPartialModule();

    FillLists();
    ASSERT_EQ(Install(), kUpdOk);

    for (const KillModule& m : modules_) {
      EXPECT_EQ(ReadFile(ModulePath(m.module)), m.module.Content(m.offered())) << m.module.file();
      EXPECT_EQ(ModeOf(ModulePath(m.module)), 0644u);
    }
    EXPECT_TRUE(ModulesNamed(".old").empty());
    EXPECT_TRUE(ModulesNamed(".dat").size() == modules_.size());
  }
}

}  // namespace
}  // namespace upd::test
