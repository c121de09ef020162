#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/util/host_binding.h"
#include "platform/util/strings.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/common/run_cancellation.h"
#include "updater/engine/install/module_installer.h"
#include "updater/engine/install/module_moves.h"
#include "updater/engine/lists/installed_modules.h"

namespace upd::test {

namespace fs = std::filesystem;

// The engine module of a test: the stand-in's module file of that name and build.
struct TestModule {
  std::string name;  // the engine's name, e.g. "em001"
  std::string module() const { return name == "loader" ? "loader64" : name + "_64"; }
  std::string file() const { return module() + ".dat"; }
  std::string Content(uint32_t build) const {
    return testhost::ModuleFileText({name, 3, 1, build, "1." + std::to_string(build)},
                                    "payload of " + name + " " + std::to_string(build) + "\n");
  }
};

// One package of a chain as the catalogue and its header describe it.
struct PackageRecipe {
  int32_t level = 0;
  uint32_t build = 0;
  uint32_t base = 0;  // the build a patch applies to
  // Header "build" when it differs from the catalogue's.
  std::optional<uint32_t> header_build;
  // Kit options after the header keys ("--corrupt-payload").
  std::vector<std::string> kit_options;
  // "tamper" operation applied to the signed package ("flip-signature").
  std::string tamper;
  // Header "filename" when it is not the module's file.
  std::optional<std::string> file_name;

  PackageRecipe HeaderBuild(uint32_t value) const {
    PackageRecipe recipe = *this;
    recipe.header_build = value;
    return recipe;
  }
  PackageRecipe KitOption(const std::string& option) const {
    PackageRecipe recipe = *this;
    recipe.kit_options.push_back(option);
    return recipe;
  }
  PackageRecipe FileName(const std::string& name) const {
    PackageRecipe recipe = *this;
    recipe.file_name = name;
    return recipe;
  }
  PackageRecipe Tamper(const std::string& operation) const {
    PackageRecipe recipe = *this;
    recipe.tamper = operation;
    return recipe;
  }
};

inline PackageRecipe Full(uint32_t build) {
  PackageRecipe recipe;
  recipe.build = build;
  return recipe;
}

inline PackageRecipe Patch(int32_t level, uint32_t base, uint32_t build) {
  PackageRecipe recipe;
  recipe.level = level;
  recipe.base = base;
  recipe.build = build;
  return recipe;
}

// An installation's record and services made here, without a library
// context: the test's own folders ("data/updfiles/", "modules/"), a host
// served by the engine stand-in, the backup store on "data", an installer,
// a cancellation flag, and the lists an installation reads, filled as the
// list builder fills them after the download: packages in the update folder
// as "zel%08X.nup", their paths in the records.
class InstallFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Tmp());
    ASSERT_EQ(setenv("TMPDIR", Tmp().c_str(), 1), 0);
    fs::create_directories(Modules());
    fs::create_directories(dir_.file("data"));
    host_binding_.settings = host_.settings();
    SafeStrCopy(host_binding_.updateFolder, UPD_PATH_SIZE,
                (dir_.file("data") + "/updfiles/").c_str());
    SafeStrCopy(host_binding_.modulesFolder, UPD_PATH_SIZE, (Modules() + "/").c_str());
    store_ = OpenBackupStore(dir_.file("data").c_str(), host_binding_.modulesFolder);
    ASSERT_NE(store_, nullptr);
    fs::create_directories(UpdateFolder());
    engine_.ServeThrough(host_);
  }

  void TearDown() override {
    SetInstallStepObserver(nullptr);
    // Every engine the library obtained went back, on every path.
    EXPECT_TRUE(engine_.counts().Balanced());
    unsetenv("TMPDIR");
  }

  std::string Tmp() const { return dir_.file("tmp"); }
  std::string Modules() const { return dir_.file("modules"); }
  std::string ModulePath(const TestModule& m) const { return Modules() + "/" + m.file(); }
  std::string UpdateFolder() const { return host_binding_.updateFolder; }

  // Installs the module file as the host has it before the run.
  void PutInstalled(const TestModule& m, uint32_t build) {
    WriteFile(ModulePath(m), m.Content(build));
    ASSERT_EQ(chmod(ModulePath(m).c_str(), 0600), 0);
  }

  // A signed package made by recipe in the update folder; its path.
  std::string MakePackage(const TestModule& m, const PackageRecipe& recipe) {
    const std::string payload_path = dir_.file("payload-" + std::to_string(serial_));
    const std::string content = m.Content(recipe.build);
    WriteFile(payload_path,
              recipe.level == 0 ? content : testhost::PatchFileText(recipe.base, content));
    char name[64];
    std::snprintf(name, sizeof name, "zel%08X.nup", 0x1000u + serial_++);
    const std::string path = UpdateFolder() + name;
    std::vector<std::string> args = {
        "nup",
        recipe.tamper.empty() ? path : path + ".plain",
        payload_path,
        "filename=" + recipe.file_name.value_or(m.file()),
        "type=" + m.module(),
        "platform=x64",
        "build=" + std::to_string(recipe.header_build.value_or(recipe.build))};
    if (recipe.level > 0) args.push_back("base=" + std::to_string(recipe.base));
    args.insert(args.end(), recipe.kit_options.begin(), recipe.kit_options.end());
    EXPECT_TRUE(SignKit(args));
    if (!recipe.tamper.empty()) {
      EXPECT_TRUE(SignKit({"tamper", recipe.tamper, path + ".plain", path}));
      fs::remove(path + ".plain");
    }
    return path;
  }

  // The catalogue entry of a downloaded package, pending installation.
  static _COMPONENT_INFO Entry(const TestModule& m, const PackageRecipe& recipe,
                               const std::string& path) {
    _COMPONENT_INFO entry;
    entry.flags = kComponentSelected | kComponentInstall | kComponentPresent | kComponentResolved;
    SafeStrCopy(entry.name, sizeof entry.name, m.module().c_str());
    SafeStrCopy(entry.module, sizeof entry.module, m.module().c_str());
    entry.platform = 1;
    entry.category = kCategoryEngine;
    entry.level = recipe.level;
    entry.build = recipe.build;
    entry.base = recipe.level == 0 ? std::nullopt : std::optional<uint32_t>(recipe.base);
    entry.localFile = path;
    entry.filename = m.file();
    return entry;
  }

  // Packages of a chain and their entries in the update list.
  void AddChain(const TestModule& m, const std::vector<PackageRecipe>& chain) {
    for (const PackageRecipe& recipe : chain) {
      lists_.updateList.Add(Entry(m, recipe, MakePackage(m, recipe)));
    }
  }

  // The installed record of a module offered by the catalogue.
  void AddInstalled(const TestModule& m, uint32_t build, uint32_t flags = 0) {
    _INSTALLED_COMPONENT_INFO record;
    SafeStrCopy(record.name, sizeof record.name, m.module().c_str());
    record.build = build;
    record.flags = flags;
    record.type = kEngineModuleType;
    record.platform = 1;
    installed_.installedList.Add(record);
  }

  // The base list's record of an installed module file.
  void AddBaseModuleFile(const TestModule& m, uint32_t build) {
    _COMPONENT_INFO base;
    SafeStrCopy(base.module, sizeof base.module, m.module().c_str());
    base.platform = 1;
    base.category = kCategoryEngine;
    base.flags = kComponentModuleFile;
    base.build = build;
    base.localFile = ModulePath(m);
    installed_.baseNupList.Add(base);
  }

  // A pending reverse-channel patch from the installed module file at build
  // from back to build to, with its base in the base list.
  void AddReverseBase(const TestModule& m, uint32_t from, uint32_t to) {
    _COMPONENT_INFO reverse = Entry(m, Patch(1, from, to), MakePackage(m, Patch(1, from, to)));
    reverse.flags |= kComponentBaseInstalled;
    reverse.listKind = kListReverse;
    lists_.reverseList.Add(reverse);
    AddBaseModuleFile(m, from);
  }

  // The contents of the bases rebuilt into the update folder's "base_nonnups".
  std::vector<std::string> RebuiltBases() const {
    std::vector<std::string> contents;
    const std::string folder = UpdateFolder() + "base_nonnups";
    if (!fs::exists(folder)) return contents;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.starts_with("zel") && name.ends_with(".nup")) << name;
      contents.push_back(ReadFile(entry.path().string()));
    }
    return contents;
  }

  UPD_ERROR Install(InstallMode mode = InstallMode::kStaged) {
    engine_result_ = 0xDEAD;
    const InstallTarget target{host_binding_, lists_.reverseList, installed_.baseNupList,
                               store_.get(), RunCancellation(abort_)};
    return installer_.InstallPackages(target, lists_.updateList, lists_.continuousList, false,
                                      installed_.installedList, &engine_result_, mode);
  }

  // Every entry under the modules folder: files with their contents,
  // folders as "<folder>".
  std::map<std::string, std::string> ModulesTree() const {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(Modules())) {
      const std::string name = fs::relative(entry.path(), Modules()).string();
      tree[name] = entry.is_directory() ? "<folder>" : ReadFile(entry.path().string());
    }
    return tree;
  }

  std::vector<std::string> ModulesNamed(const std::string& suffix) const {
    std::vector<std::string> found;
    for (const auto& [name, content] : ModulesTree()) {
      if (name.size() >= suffix.size() && name.ends_with(suffix)) found.push_back(name);
    }
    return found;
  }

  std::vector<testhost::EngineCall> PatchCalls() const {
    std::vector<testhost::EngineCall> calls;
    for (const auto& call : engine_.calls()) {
      if (call.id == ENGINE_FN_APPLY_PATCH) calls.push_back(call);
    }
    return calls;
  }

  TempDir dir_;
  testhost::EventHost host_;
  testhost::EngineStandIn engine_;
  HostBinding host_binding_;
  CUpdateLists lists_;
  CInstalledModules installed_;
  std::unique_ptr<CBackupStore> store_;
  CModuleInstaller installer_;
  std::atomic<uint8_t> abort_{0};
  uint32_t engine_result_ = 0;
  uint32_t serial_ = 0;
};

inline uint32_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

}  // namespace upd::test
