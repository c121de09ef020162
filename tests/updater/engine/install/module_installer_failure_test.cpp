#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/util/update_errors.h"
#include "updater/engine/install/module_installer.h"

namespace upd::test {
namespace {

const TestModule kEm1{"em001"};
const TestModule kEm2{"em002"};
const TestModule kEm3{"em003"};
const TestModule kLoader{"loader"};

class ModuleInstallerFailureTest : public InstallFixture {
 protected:
  // Nothing of a failed installation shows in the modules folder.
  void ExpectModulesAsBefore(const std::map<std::string, std::string>& before) {
    EXPECT_EQ(ModulesTree(), before);
    EXPECT_TRUE(ModulesNamed(".old").empty());
    for (const auto& record : installed_.installedList) {
      EXPECT_EQ(record.flags & (kInstalledUpToDate | kInstalledInThisRun), 0u) << record.name;
    }
  }
};

struct PackageFault {
  const char* name;
  PackageRecipe recipe;
  UPD_ERROR expected;
};

// The second module's package is damaged; the first module, prepared
// already, is not committed either.
TEST_F(ModuleInstallerFailureTest, DamagedPackageInstallsNothing) {
  const std::vector<PackageFault> kFaults = {
      {"payload byte flipped and signed again", Full(200).KitOption("--corrupt-payload"),
       kUpdBadFile},
      {"signature byte flipped", Full(200).Tamper("flip-signature"), kUpdSignatureMismatch},
      {"header build other than the catalogue's", Full(200).HeaderBuild(201), kUpdNotAllInstalled},
      {"file name outside the modules folder", Full(200).FileName("../escape.dat"), kUpdBadFile},
  };
  PutInstalled(kEm1, 100);
  PutInstalled(kEm2, 100);
  for (const PackageFault& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
    AddChain(kEm1, {Full(200)});
    AddChain(kEm2, {fault.recipe});
    AddInstalled(kEm1, 100);
    AddInstalled(kEm2, 100);
    const auto before = ModulesTree();

    EXPECT_EQ(Install(), fault.expected);

    ExpectModulesAsBefore(before);
    EXPECT_FALSE(fs::exists(dir_.file("escape.dat")));
    EXPECT_TRUE(fs::is_empty(Tmp()));
  }
}

TEST_F(ModuleInstallerFailureTest, EngineRefusingThePatch) {
  constexpr uint32_t kRefusal = 1234;
  PutInstalled(kEm1, 100);
  PutInstalled(kEm2, 100);
  AddChain(kEm1, {Full(200)});
  AddChain(kEm2, {Full(200), Patch(1, 200, 201)});
  AddInstalled(kEm1, 100);
  AddInstalled(kEm2, 100);
  engine_.Refuse(ENGINE_FN_APPLY_PATCH, kRefusal);
  const auto before = ModulesTree();

  EXPECT_EQ(Install(), kUpdEngineFailed);

  // The engine's own result is what the host is told (event 7).
  EXPECT_EQ(engine_result_, kRefusal);
  ExpectModulesAsBefore(before);
}

TEST_F(ModuleInstallerFailureTest, CommitFailingOnTheThirdModuleRollsBackTheFirstTwo) {
  PutInstalled(kEm1, 100);
  PutInstalled(kEm2, 100);
  // The third target is a folder: its old file cannot be kept.
  fs::create_directories(ModulePath(kEm3));
  WriteFile(ModulePath(kEm3) + "/inside", "kept");
  for (const TestModule& m : {kEm1, kEm2, kEm3}) {
    AddChain(m, {Full(200)});
    AddInstalled(m, 100);
  }
  std::vector<std::string> renamed;
  SetInstallStepObserver([&](InstallStep step, const char*, const char* to) {
    if (step == InstallStep::kRename) renamed.push_back(fs::path(to).filename().string());
  });
  const auto before = ModulesTree();

  EXPECT_EQ(Install(), kUpdMoveFailed);

  ExpectModulesAsBefore(before);
  // Staged three, committed two, put the two old files back.
  EXPECT_EQ(renamed, (std::vector<std::string>{"em001_64.dat", "em002_64.dat", "em003_64.dat",
                                               "em001_64.dat", "em002_64.dat", "em001_64.dat",
                                               "em002_64.dat"}));
}

struct EngineAnswer {
  const char* name;
  ENGINE_DISPATCH pair;
  size_t releases;
};

TEST_F(ModuleInstallerFailureTest, NoEngineHandedOut) {
  const std::vector<EngineAnswer> kAnswers = {
      {"nothing", {}, 0},
      // A half-filled pair is no engine, but goes back to the host.
      {"host word only", {0x5EED, nullptr}, 1},
      {"entry only", {0, engine_.dispatch().entry}, 1},
  };
  PutInstalled(kEm1, 100);
  AddChain(kEm1, {Full(200)});
  // The host answers alone; the stand-in is not involved.
  host_.Answer(UPD_EVENT_ENGINE_END, 0);
  for (const EngineAnswer& answer : kAnswers) {
    SCOPED_TRACE(answer.name);
    host_.Clear();
    installed_.installedList.SetSize(0);
    AddInstalled(kEm1, 100);
    host_.OnEvent(UPD_EVENT_ENGINE, [&](uint32_t, void* data) {
      *static_cast<UPD_ENGINE_REQUEST_EVENT*>(data)->dispatch = answer.pair;
      return 0u;
    });
    const auto before = ModulesTree();

    EXPECT_EQ(Install(), kUpdEngineUnavailable);

    EXPECT_EQ(host_.EventsOf(UPD_EVENT_ENGINE_END).size(), answer.releases);
    EXPECT_TRUE(host_.EventsOf(UPD_EVENT_STATUS).empty());
    EXPECT_EQ(ModulesTree(), before);
  }
}

TEST_F(ModuleInstallerFailureTest, LoaderFailureEndsTheRunBeforeAnyEngine) {
  PutInstalled(kLoader, 10);
  PutInstalled(kEm1, 100);
  AddChain(kLoader, {Full(11).Tamper("flip-signature")});
  AddChain(kEm1, {Full(200)});
  AddInstalled(kEm1, 100);
  AddInstalled(kLoader, 10);
  const auto before = ModulesTree();

  EXPECT_EQ(Install(), kUpdSignatureMismatch);

  EXPECT_EQ(engine_.counts().requests + engine_.counts().folder_requests, 0u);
  ExpectModulesAsBefore(before);
}

struct ListFault {
  const char* name;
  int32_t level;         // the entry changed
  uint32_t clear_flags;  // on that entry
  uint32_t set_flags;
  UPD_ERROR expected;
};

// The lists name no usable package for the module.
TEST_F(ModuleInstallerFailureTest, ListWithoutAUsableChain) {
  const std::vector<ListFault> kFaults = {
      {"no full package", 0, 0, kComponentDropped, kUpdNoInstalledModule},
      {"full package not pending", 0, kComponentInstall, 0, kUpdNotPending},
      {"full package download failed", 0, 0, kComponentDownloadFailed, kUpdNotPending},
      {"patch download failed", 1, 0, kComponentDownloadFailed, kUpdNotPending},
  };
  PutInstalled(kEm1, 100);
  const std::string full = MakePackage(kEm1, Full(200));
  const std::string patch = MakePackage(kEm1, Patch(1, 200, 201));
  for (const ListFault& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    lists_.updateList.SetSize(0);
    installed_.installedList.SetSize(0);
    lists_.updateList.Add(Entry(kEm1, Full(200), full));
    lists_.updateList.Add(Entry(kEm1, Patch(1, 200, 201), patch));
    _COMPONENT_INFO& changed = lists_.updateList[fault.level];
    changed.flags = (changed.flags & ~fault.clear_flags) | fault.set_flags;
    AddInstalled(kEm1, 100);
    const auto before = ModulesTree();

    EXPECT_EQ(Install(), fault.expected);

    ExpectModulesAsBefore(before);
    EXPECT_TRUE(fs::is_empty(Tmp()));
  }
}

// Placed directly, a module stays when a later one fails; the bases are
// rebuilt all the same.
TEST_F(ModuleInstallerFailureTest, DirectModeKeepsWhatWasPlacedAndStillRebuildsBases) {
  PutInstalled(kEm1, 100);
  PutInstalled(kEm2, 100);
  AddChain(kEm1, {Full(200)});
  AddChain(kEm2, {Full(200).Tamper("flip-signature")});
  AddInstalled(kEm1, 100);
  AddInstalled(kEm2, 100);
  PutInstalled(kEm3, 300);
  AddReverseBase(kEm3, 300, 290);

  EXPECT_EQ(Install(InstallMode::kDirect), kUpdSignatureMismatch);

  EXPECT_EQ(ReadFile(ModulePath(kEm1)), kEm1.Content(200));
  EXPECT_EQ(ReadFile(ModulePath(kEm2)), kEm2.Content(100));
  EXPECT_EQ(ModulesTree().size(), 3u);
  EXPECT_EQ(RebuiltBases(), std::vector<std::string>{kEm3.Content(290)});
  EXPECT_EQ(installed_.installedList[0].flags, kInstalledUpToDate | kInstalledInThisRun);
}

}  // namespace
}  // namespace upd::test
