#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../api/library_fixture.h"
#include "platform/store/settings_store.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"

namespace upd::test {

namespace fs = std::filesystem;

// One package as its header describes it.
struct NupRecipe {
  std::string module = "em001_64";
  uint32_t build = 1;
  int32_t level = 0;
  uint32_t base = 0;  // the build a delta applies to
  std::string group = "engine";
  std::string platform = "x64";
  std::string tamper;  // sign_kit "tamper" operation applied after signing

  NupRecipe Group(const std::string& name) const {
    NupRecipe recipe = *this;
    recipe.group = name;
    return recipe;
  }
  NupRecipe Tamper(const std::string& operation) const {
    NupRecipe recipe = *this;
    recipe.tamper = operation;
    return recipe;
  }
};

inline NupRecipe Full(const std::string& module, uint32_t build) {
  NupRecipe recipe;
  recipe.module = module;
  recipe.build = build;
  return recipe;
}

inline NupRecipe Delta(const std::string& module, int32_t level, uint32_t base, uint32_t build) {
  NupRecipe recipe = Full(module, build);
  recipe.level = level;
  recipe.base = base;
  return recipe;
}

// The engine module file of module at build, as the stand-in reads it.
inline std::string ModuleContent(const std::string& module, uint32_t build) {
  return testhost::ModuleFileText({module, 3, 1, build, "1." + std::to_string(build)},
                                  "payload of " + module + " " + std::to_string(build) + "\n");
}

// The host around the exports of offline packages: the event host with a
// settings store in the test folder, served by the engine stand-in, and
// folders of its own for modules, packages and the package reader's
// temporary files.
class OfflineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().loaded()) << Library().error();
    for (const std::string& folder : {Tmp(), Modules(), Packages()}) fs::create_directories(folder);
    ASSERT_EQ(setenv("TMPDIR", Tmp().c_str(), 1), 0);
    const std::string store = "file://" + StorePath();
    std::memcpy(host_.settings()->settingsStore, store.c_str(), store.size() + 1);
    engine_.ServeThrough(host_);
  }

  void TearDown() override {
    EXPECT_TRUE(engine_.counts().Balanced());
    unsetenv("TMPDIR");
  }

  std::string Tmp() const { return dir_.file("tmp"); }
  std::string Modules() const { return dir_.file("modules"); }
  std::string Packages() const { return dir_.file("offline/packages"); }
  std::string StorePath() const { return dir_.file("settings.ini"); }
  std::string ModulePath(const std::string& module) const {
    return Modules() + "/" + module + ".dat";
  }

  void PutModule(const std::string& module, uint32_t build) {
    WriteFile(ModulePath(module), ModuleContent(module, build));
  }

  // A signed package made by recipe at path; its path.
  std::string MakeNup(const std::string& path, const NupRecipe& recipe) {
    fs::create_directories(fs::path(path).parent_path());
    const std::string payload = dir_.file("payload-" + std::to_string(serial_++));
    const std::string module = ModuleContent(recipe.module, recipe.build);
    WriteFile(payload, recipe.level == 0 ? module : testhost::PatchFileText(recipe.base, module));
    const std::string signed_path = recipe.tamper.empty() ? path : path + ".plain";
    std::vector<std::string> args = {"nup",
                                     signed_path,
                                     payload,
                                     "category=engine",
                                     "platform=" + recipe.platform,
                                     "type=" + recipe.module,
                                     "filename=" + recipe.module + ".dat",
                                     "group=" + recipe.group,
                                     "version=1." + std::to_string(recipe.build),
                                     "build=" + std::to_string(recipe.build),
                                     "level=" + std::to_string(recipe.level)};
    if (recipe.level > 0) args.push_back("base=" + std::to_string(recipe.base));
    EXPECT_TRUE(SignKit(args));
    if (!recipe.tamper.empty()) {
      EXPECT_TRUE(SignKit({"tamper", recipe.tamper, signed_path, path}));
      fs::remove(signed_path);
    }
    return path;
  }

  // A package in the packages folder; its path.
  std::string AddPackage(const NupRecipe& recipe) {
    char name[32];
    std::snprintf(name, sizeof name, "zel%08X.nup", 0x100u + serial_);
    return MakeNup(Packages() + "/" + name, recipe);
  }

  UPD_ERROR SetupEngines(const char* groups = "engine") {
    return LIB(UpdSetupEngines3)(host_.settings(), Modules().c_str(), Modules().c_str(),
                                 Packages().c_str(), groups);
  }

  // "InstallTime" of the settings store; absent gives nothing.
  bool StoredInstallTime(uint32_t* value) const {
    const std::string location = "file://" + StorePath();
    SettingsStorePtr store(SettingsStoreOpen(location.c_str(), kSettingsKindSettings, nullptr));
    return store != nullptr && SettingsStoreGetDword(store.get(), "InstallTime", value);
  }

  // File names under folder, with their contents.
  static std::map<std::string, std::string> Files(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_regular_file()) files[entry.path().filename()] = ReadFile(entry.path());
    }
    return files;
  }

  TempDir dir_;
  testhost::EventHost host_;
  testhost::EngineStandIn engine_;
  uint32_t serial_ = 0;
};

}  // namespace upd::test
