#include "updater/engine/module_installer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/util/update_errors.h"
#include "updater/engine/delta_step.h"

namespace upd::test {
namespace {

const TestModule kEm1{"em001"};
const TestModule kEm2{"em002"};
const TestModule kLoader{"loader"};

using ModuleInstallerTest = InstallFixture;

TEST_F(ModuleInstallerTest, FullModuleFromASignedPackage) {
  PutInstalled(kEm1, 100);
  AddChain(kEm1, {Full(200)});
  AddInstalled(kEm1, 100);
  _COMPONENT_INFO base;
  SafeStrCopy(base.module, sizeof base.module, kEm1.module().c_str());
  base.platform = 1;
  base.category = kCategoryEngine;
  base.flags = kComponentModuleFile;
  base.build = 100;
  context_->installed.baseNupList.Add(base);

  ASSERT_EQ(Install(), kUpdOk);

  EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(200));
  EXPECT_EQ(ModeOf(ModulePath(kEm1)), 0644u);
  // Nothing else is left: no ".old", no staging or temporary folder.
  EXPECT_EQ(ModulesTree().size(), 1u);
  EXPECT_EQ(context_->installed.installedList[0].flags, kInstalledUpToDate | kInstalledInThisRun);
  EXPECT_EQ(context_->installed.baseNupList[0].build, 200u);
  EXPECT_TRUE(PatchCalls().empty());
  EXPECT_EQ(engine_result_, 0u);
  EXPECT_EQ(engine_.counts().requests, 1u);
  EXPECT_EQ(engine_.counts().folder_requests, 0u);

  const auto status = host_.EventsOf(UPD_EVENT_STATUS);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].As<UPD_STATUS_EVENT>().kind, 2u);
  EXPECT_EQ(status[0].As<UPD_STATUS_EVENT>().value, 1u);
  const auto files = host_.EventsOf(UPD_EVENT_FILE);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].As<UPD_FILE_EVENT>().kind, 2u);
  EXPECT_EQ(files[0].As<UPD_FILE_EVENT>().value, 1u);
  EXPECT_EQ(files[0].As<UPD_FILE_EVENT>().name[0], '\0');
}

TEST_F(ModuleInstallerTest, ANewModuleGetsItsFileAndDirectModePlacesItAtOnce) {
  for (const InstallMode mode : {InstallMode::kStaged, InstallMode::kDirect}) {
    SCOPED_TRACE(static_cast<int>(mode));
    fs::remove_all(Modules());
    fs::create_directories(Modules());
    context_->lists.updateList.SetSize(0);
    context_->installed.installedList.SetSize(0);
    AddChain(kEm2, {Full(7)});
    AddInstalled(kEm2, 0);
    ASSERT_EQ(Install(mode), kUpdOk);
    EXPECT_EQ(ReadFile(ModulePath(kEm2)), kEm2.Content(7));
    EXPECT_EQ(ModeOf(ModulePath(kEm2)), 0644u);
    EXPECT_EQ(ModulesTree().size(), 1u);
  }
}

struct ChainCase {
  const char* name;
  std::vector<PackageSpec> chain;
  uint32_t final_build;
  size_t engine_steps;
};

// Chains as the catalogue offers them: each patch applies to the build the
// one before reached; every step but the last is flagged as intermediate.
TEST_F(ModuleInstallerTest, PatchChains) {
  std::vector<PackageSpec> ten_levels;
  for (int32_t level = 0; level <= 10; ++level) {
    const auto build = static_cast<uint32_t>(300 + level);
    ten_levels.push_back(level == 0 ? Full(build) : Patch(level, build - 1, build));
  }
  const std::vector<ChainCase> kCases = {
      {"level-1 patch", {Full(200), Patch(1, 200, 201)}, 201, 1},
      // Levels 0 to 9 are applied whole; a level-10 package is never looked at.
      {"ten packages", ten_levels, 309, 9},
      // A level-2 patch of another build ends the chain at level 1.
      {"level 2 based elsewhere",
       {Full(200), Patch(1, 200, 201), Patch(2, 250, 251)},
       201, 1},
  };
  for (const ChainCase& c : kCases) {
    SCOPED_TRACE(c.name);
    context_->lists.updateList.SetSize(0);
    context_->installed.installedList.SetSize(0);
    const size_t calls_before = PatchCalls().size();
    PutInstalled(kEm1, 100);
    AddChain(kEm1, c.chain);
    AddInstalled(kEm1, 100);
    ASSERT_EQ(Install(), kUpdOk);

    const auto calls = PatchCalls();
    ASSERT_EQ(calls.size() - calls_before, c.engine_steps);
    for (size_t i = calls_before; i < calls.size(); ++i) {
      const bool last = i + 1 == calls.size();
      EXPECT_EQ(static_cast<uint32_t>(calls[i].args.at(3)), last ? 0u : kPatchIntermediate) << i;
    }
    EXPECT_EQ(engine_result_, 0u);
    EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(c.final_build));
    // Payloads, outputs and headers of every level are gone.
    EXPECT_EQ(ModulesTree().size(), 1u);
    EXPECT_TRUE(fs::is_empty(Tmp()));
  }
}

}  // namespace
}  // namespace upd::test
