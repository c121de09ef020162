#include "updater/engine/install/module_installer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/util/engine_bridge.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/install/delta_step.h"

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
  AddBaseModuleFile(kEm1, 100);

  ASSERT_EQ(Install(), kUpdOk);

  EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(200));
  EXPECT_EQ(ModeOf(ModulePath(kEm1)), 0644u);
  // Nothing else is left: no ".old", no staging or temporary folder.
  EXPECT_EQ(ModulesTree().size(), 1u);
  EXPECT_EQ(installed_.installedList[0].flags, kInstalledUpToDate | kInstalledInThisRun);
  EXPECT_EQ(installed_.baseNupList[0].build, 200u);
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
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
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
  std::vector<PackageRecipe> chain;
  uint32_t final_build;
  size_t engine_steps;
};

// Chains as the catalogue offers them: each patch applies to the build the
// one before reached; every step but the last is flagged as intermediate.
TEST_F(ModuleInstallerTest, PatchChains) {
  std::vector<PackageRecipe> ten_levels;
  for (int32_t level = 0; level <= 10; ++level) {
    const auto build = static_cast<uint32_t>(300 + level);
    ten_levels.push_back(level == 0 ? Full(build) : Patch(level, build - 1, build));
  }
  const std::vector<ChainCase> kCases = {
      {"level-1 patch", {Full(200), Patch(1, 200, 201)}, 201, 1},
      // Levels 0 to 9 are applied whole; a level-10 package is never looked at.
      {"ten packages", ten_levels, 309, 9},
      // A level-2 patch of another build ends the chain at level 1.
      {"level 2 based elsewhere", {Full(200), Patch(1, 200, 201), Patch(2, 250, 251)}, 201, 1},
  };
  for (const ChainCase& c : kCases) {
    SCOPED_TRACE(c.name);
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
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

// Events 26 and 28 answered by the stand-in, each noting what the modules
// folder held at that moment.
struct EngineRequest {
  uint32_t event;
  std::u16string folder;
  bool staged_loader;
};

TEST_F(ModuleInstallerTest, LoaderIsPlacedFirstAndTheEngineComesFromItsFolder) {
  for (const InstallMode mode : {InstallMode::kStaged, InstallMode::kDirect}) {
    SCOPED_TRACE(static_cast<int>(mode));
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
    host_.Clear();
    PutInstalled(kEm1, 100);
    PutInstalled(kLoader, 10);
    AddChain(kEm1, {Full(200), Patch(1, 200, 201)});
    AddChain(kLoader, {Full(11)});
    // The loader comes last in the list and is still placed first.
    AddInstalled(kEm1, 100);
    AddInstalled(kLoader, 10);
    std::vector<EngineRequest> requests;
    for (const uint32_t event : {UPD_EVENT_ENGINE_FOR_FOLDER, UPD_EVENT_ENGINE}) {
      host_.OnEvent(event, [&](uint32_t id, void* data) {
        const std::string staged = Modules() + "/Modules/loader64.dat";
        std::u16string folder;
        if (id == UPD_EVENT_ENGINE_FOR_FOLDER) {
          folder = static_cast<UPD_ENGINE_FOLDER_EVENT*>(data)->folder;
        }
        requests.push_back({id, folder,
                            ReadFile(staged) == kLoader.Content(11) ||
                                ReadFile(ModulePath(kLoader)) == kLoader.Content(11)});
        uint32_t answer = 0;
        engine_.HandleEvent(id, data, &answer);
        return answer;
      });
    }

    ASSERT_EQ(Install(mode), kUpdOk);

    const std::string folder =
        mode == InstallMode::kStaged ? Modules() + "/Modules/" : Modules() + "/";
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].event, static_cast<uint32_t>(UPD_EVENT_ENGINE_FOR_FOLDER));
    EXPECT_EQ(requests[0].folder, std::u16string(folder.begin(), folder.end()));
    EXPECT_TRUE(requests[0].staged_loader);
    // Only the module after the loader counts in the installation's events.
    ASSERT_EQ(host_.EventsOf(UPD_EVENT_STATUS).size(), 1u);
    EXPECT_EQ(host_.EventsOf(UPD_EVENT_STATUS)[0].As<UPD_STATUS_EVENT>().value, 1u);
    EXPECT_EQ(host_.EventsOf(UPD_EVENT_FILE).size(), 1u);
    EXPECT_EQ(ReadFile(ModulePath(kLoader)), kLoader.Content(11));
    EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(201));
    EXPECT_EQ(ModulesTree().size(), 2u);
    for (const auto& record : installed_.installedList) {
      EXPECT_EQ(record.flags, kInstalledUpToDate | kInstalledInThisRun) << record.name;
    }
  }
}

// Placed before any engine is held, a loader that needs a patch step has no
// engine to apply it.
TEST_F(ModuleInstallerTest, LoaderChainNeedingTheEngineFailsWithoutAskingForOne) {
  PutInstalled(kLoader, 10);
  AddChain(kLoader, {Full(11), Patch(1, 11, 12)});
  AddInstalled(kLoader, 10);
  const auto before = ModulesTree();

  EXPECT_EQ(Install(), kUpdNoContext);
  EXPECT_EQ(engine_result_, kEngineNoEntry);
  EXPECT_EQ(ModulesTree(), before);
  EXPECT_EQ(engine_.counts().requests + engine_.counts().folder_requests, 0u);
  EXPECT_EQ(installed_.installedList[0].flags, 0u);
}

TEST_F(ModuleInstallerTest, NothingToInstallStillHoldsTheEngineAndRebuildsReverseBases) {
  PutInstalled(kEm1, 100);
  AddInstalled(kEm1, 100, kInstalledUpToDate);
  AddReverseBase(kEm1, 100, 90);
  const auto before = ModulesTree();

  EXPECT_EQ(Install(), kUpdNothingNew);

  EXPECT_EQ(engine_.counts().requests, 1u);
  EXPECT_EQ(ModulesTree(), before);
  EXPECT_EQ(RebuiltBases(), std::vector<std::string>{kEm1.Content(90)});
  // The stand-in applies the patch only to a base at build 100: the
  // installed module file.
  EXPECT_EQ(PatchCalls().size(), 1u);
}

struct ContinuousCase {
  const char* name;
  bool base_is_module_file;
};

// A continuous-channel patch chosen for a record (0x4) applies to the
// installed module file itself (0x10) or to the payload of a full package.
TEST_F(ModuleInstallerTest, ContinuousPackageAppliesToItsBase) {
  const ContinuousCase kCases[] = {{"installed module file", true}, {"full package", false}};
  for (const ContinuousCase& c : kCases) {
    SCOPED_TRACE(c.name);
    lists_.continuousList.SetSize(0);
    installed_.installedList.SetSize(0);
    PutInstalled(kEm1, 100);
    const std::string base_path =
        c.base_is_module_file ? ModulePath(kEm1) : MakePackage(kEm1, Full(100));
    _COMPONENT_INFO entry = Entry(kEm1, Patch(1, 100, 150), MakePackage(kEm1, Patch(1, 100, 150)));
    entry.listKind = kListContinuous;
    entry.basePath = base_path;
    lists_.continuousList.Add(_COMPONENT_INFO{});  // another module's entry
    lists_.continuousList.Add(entry);
    AddInstalled(
        kEm1, 100,
        kInstalledPackageChosen | (c.base_is_module_file ? kInstalledBaseIsModuleFile : 0));
    installed_.installedList[0].chosen = 1;
    const size_t calls_before = PatchCalls().size();

    ASSERT_EQ(Install(), kUpdOk);

    EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(150));
    ASSERT_EQ(PatchCalls().size(), calls_before + 1);
    EXPECT_EQ(static_cast<uint32_t>(PatchCalls().back().args.at(3)), 0u);
    EXPECT_EQ(ModulesTree().size(), 1u);
    EXPECT_TRUE(fs::is_empty(Tmp()));
  }
}

// With the installed-module scan skipped, nothing else would notice that a
// snapshot now holds a newer module than the one installed, or that modules
// are parked for the update group.
TEST_F(ModuleInstallerTest, BackupUpkeepFollowsACommitOnlyWhenTheHostSkipsTheScan) {
  const TestModule parked_module{"em003"};
  for (const uint32_t skip_scan : {0u, 1u}) {
    SCOPED_TRACE(skip_scan);
    CBackupStore& store = *store_;
    (void)store.PruneSnapshots(false);
    for (const uint32_t build : {300u, 150u}) {
      PutInstalled(kEm1, build);
      CListBase components;
      AddBaseModuleFile(kEm1, build);
      components.Add(installed_.baseNupList[installed_.baseNupList.GetSize() - 1]);
      ASSERT_EQ(store.CreateSnapshot(components, 10), kUpdOk);
    }
    PutInstalled(parked_module, 5);
    _COMPONENT_INFO parked;
    parked.localFile = ModulePath(parked_module);
    store.SaveComponentFile(parked, "Release");
    fs::remove(ModulePath(parked_module));
    host_.settings()->skipInstalledScan = skip_scan;
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
    AddChain(kEm1, {Full(201)});
    AddInstalled(kEm1, 150);

    ASSERT_EQ(Install(), kUpdOk);

    CBackupStateArray snapshots;
    (void)store.LoadSnapshots(&snapshots);
    std::vector<uint64_t> kept;
    for (const CBackupState& snapshot : snapshots) kept.push_back(snapshot.GetModules()[0].build);
    const std::vector<uint64_t> expected =
        skip_scan != 0 ? std::vector<uint64_t>{150} : std::vector<uint64_t>{300, 150};
    EXPECT_EQ(kept, expected);
    EXPECT_EQ(fs::exists(ModulePath(parked_module)), skip_scan != 0);
    installed_.baseNupList.SetSize(0);
  }
}

TEST_F(ModuleInstallerTest, AbortBeforeTheCommitLeavesTheModules) {
  PutInstalled(kEm1, 100);
  AddChain(kEm1, {Full(200)});
  AddInstalled(kEm1, 100);
  const auto before = ModulesTree();
  abort_ = 1;

  EXPECT_EQ(Install(), kUpdInstallAborted);

  EXPECT_EQ(ModulesTree(), before);
}

// A patch step that succeeds while the run is aborted ends the chain.
TEST_F(ModuleInstallerTest, AbortDuringAPatchStep) {
  PutInstalled(kEm1, 100);
  AddChain(kEm1, {Full(200), Patch(1, 200, 201), Patch(2, 201, 202)});
  AddInstalled(kEm1, 100);
  const auto before = ModulesTree();
  SetInstallStepObserver([this](InstallStep step, const char*, const char*) {
    if (step == InstallStep::kEnginePatch) abort_ = 1;
  });

  EXPECT_EQ(Install(), kUpdInstallAborted);

  EXPECT_EQ(PatchCalls().size(), 1u);
  EXPECT_EQ(engine_result_, 0u);
  EXPECT_EQ(ModulesTree(), before);
}

}  // namespace
}  // namespace upd::test
