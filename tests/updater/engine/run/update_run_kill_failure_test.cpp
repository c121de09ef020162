#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/util/update_errors.h"
#include "run_fixture.h"
#include "updater/engine/install/module_moves.h"

namespace upd::test {
namespace {

// A host process killed at any engine call or rename of the installation
// leaves every module whole, old or new; the next run completes, and it or
// UpdCleanupModules removes what the killed one left beside the modules.
class KillRunTest : public RunFixture {
 protected:
  void TearDown() override {
    SetInstallStepObserver(nullptr);
    RunFixture::TearDown();
  }

  // The state after the first run: em001 and em002 at their first builds.
  void SaveFirstState() {
    fs::create_directories(dir_.file("saved"));
    fs::copy(Modules(), dir_.file("saved/modules"), fs::copy_options::recursive);
    fs::copy(Data(), dir_.file("saved/data"), fs::copy_options::recursive);
    fs::copy_file(StorePath(), dir_.file("saved/settings.ini"));
  }

  void RestoreFirstState() {
    for (const auto& [from, to] :
         {std::pair{dir_.file("saved/modules"), Modules()}, {dir_.file("saved/data"), Data()}}) {
      fs::remove_all(to);
      fs::copy(from, to, fs::copy_options::recursive);
    }
    fs::copy_file(dir_.file("saved/settings.ini"), StorePath(),
                  fs::copy_options::overwrite_existing);
  }

  // Runs the update in a child that kills itself at its step kill_at. True
  // when it died there.
  bool RunKilledAt(size_t kill_at) {
    const pid_t child = fork();
    if (child == 0) {
      size_t step = 0;
      SetInstallStepObserver([&](InstallStep, const char*, const char*) {
        if (step++ == kill_at) raise(SIGKILL);
      });
      _exit(Run() == kUpdOk ? 0 : 1);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

  // Every file named after a module holds one of its published builds
  // whole, the staged and kept copies too.
  void ExpectNoPartialModule() {
    for (const auto& [name, content] : Tree(Modules())) {
      if (content == "<folder>") continue;
      const std::string base = fs::path(name).filename().string();
      for (const auto& [module, builds] : kBuilds) {
        if (base != module + ".dat" && base != module + ".dat.old") continue;
        bool whole = false;
        for (const uint32_t build : builds) whole = whole || content == Module(module, build);
        EXPECT_TRUE(whole) << name << " holds " << content.size() << " bytes";
      }
    }
  }

  // The published builds of the second run, and nothing else beside them: no
  // temporary folder, staging folder, ".old" copy or lock file.
  void ExpectNewModulesOnly() {
    EXPECT_EQ(ReadFile(ModulePath("loader64")), Module("loader64", 11));
    EXPECT_EQ(ReadFile(ModulePath("em001_64")), Module("em001_64", 201));
    EXPECT_EQ(ReadFile(ModulePath("em002_64")), Module("em002_64", 301));
    EXPECT_EQ(Names(Tree(Modules())), kModuleFiles);
  }

  const std::vector<std::string> kModuleFiles = {"em001_64.dat", "em002_64.dat", "loader64.dat"};
  const std::vector<std::pair<std::string, std::vector<uint32_t>>> kBuilds = {
      {"loader64", {10, 11}}, {"em001_64", {200, 201}}, {"em002_64", {300, 301}}};
};

TEST_F(KillRunTest, KilledAtEachEngineCallAndRenameThenTheNextRunLeavesOnlyTheModules) {
  Publish({"--module", "loader:10", "--module", "em001:200", "--module", "em002:300"});
  ASSERT_EQ(Run(), kUpdOk);
  SaveFirstState();
  Publish({"--module", "loader:11", "--module", "em001:200", "--module", "em002:301", "--patch",
           "em001:200:201"});

  // The points of a whole second run, counted in this process.
  size_t points = 0;
  SetInstallStepObserver([&](InstallStep, const char*, const char*) { ++points; });
  ASSERT_EQ(Run(), kUpdOk);
  SetInstallStepObserver(nullptr);
  // The loader, the patch, em002, then the three commits: at least one
  // engine step and a rename per module.
  ASSERT_GE(points, 7u);

  for (size_t kill_at = 0; kill_at < points; ++kill_at) {
    SCOPED_TRACE("killed at point " + std::to_string(kill_at));
    RestoreFirstState();
    ASSERT_TRUE(RunKilledAt(kill_at));
    ExpectNoPartialModule();

    ASSERT_EQ(Run(), kUpdOk);
    ExpectNewModulesOnly();
  }
}

TEST_F(KillRunTest, KilledAtEachEngineCallAndRenameThenCleanupAndARunLeaveOnlyTheModules) {
  Publish({"--module", "loader:10", "--module", "em001:200", "--module", "em002:300"});
  ASSERT_EQ(Run(), kUpdOk);
  SaveFirstState();
  Publish({"--module", "loader:11", "--module", "em001:200", "--module", "em002:301", "--patch",
           "em001:200:201"});

  size_t points = 0;
  SetInstallStepObserver([&](InstallStep, const char*, const char*) { ++points; });
  ASSERT_EQ(Run(), kUpdOk);
  SetInstallStepObserver(nullptr);
  ASSERT_GE(points, 7u);

  for (size_t kill_at = 0; kill_at < points; ++kill_at) {
    SCOPED_TRACE("killed at point " + std::to_string(kill_at));
    RestoreFirstState();
    ASSERT_TRUE(RunKilledAt(kill_at));
    // Every point lies inside the installation, after its staging folder was made.
    ASSERT_EQ(UpdCleanupModules(context_, host_.settings()), kUpdOk);
    EXPECT_EQ(Names(Tree(Modules())), kModuleFiles);
    ExpectNoPartialModule();

    ASSERT_EQ(Run(), kUpdOk);
    ExpectNewModulesOnly();
  }
}

}  // namespace
}  // namespace upd::test
