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
struct NupSpec {
  std::string module = "em001_64";
  uint32_t build = 1;
  int32_t level = 0;
  uint32_t base = 0;  // the build a delta applies to
  std::string group = "engine";
  std::string platform = "x64";
  std::string tamper;  // sign_kit "tamper" operation applied after signing

  NupSpec Group(const std::string& name) const {
    NupSpec spec = *this;
    spec.group = name;
    return spec;
  }
  NupSpec Tamper(const std::string& operation) const {
    NupSpec spec = *this;
    spec.tamper = operation;
    return spec;
  }
};

inline NupSpec Full(const std::string& module, uint32_t build) {
  NupSpec spec;
  spec.module = module;
  spec.build = build;
  return spec;
}

inline NupSpec Delta(const std::string& module, int32_t level, uint32_t base, uint32_t build) {
  NupSpec spec = Full(module, build);
  spec.level = level;
  spec.base = base;
  return spec;
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

  // A signed package of spec at path; its path.
  std::string MakeNup(const std::string& path, const NupSpec& spec) {
    fs::create_directories(fs::path(path).parent_path());
    const std::string payload = dir_.file("payload-" + std::to_string(serial_++));
    const std::string module = ModuleContent(spec.module, spec.build);
    WriteFile(payload, spec.level == 0 ? module : testhost::PatchFileText(spec.base, module));
    const std::string signed_path = spec.tamper.empty() ? path : path + ".plain";
    std::vector<std::string> args = {"nup",
                                     signed_path,
                                     payload,
                                     "category=engine",
                                     "platform=" + spec.platform,
                                     "type=" + spec.module,
                                     "filename=" + spec.module + ".dat",
                                     "group=" + spec.group,
                                     "version=1." + std::to_string(spec.build),
                                     "build=" + std::to_string(spec.build),
                                     "level=" + std::to_string(spec.level)};
    if (spec.level > 0) args.push_back("base=" + std::to_string(spec.base));
    EXPECT_TRUE(SignKit(args));
    if (!spec.tamper.empty()) {
      EXPECT_TRUE(SignKit({"tamper", spec.tamper, signed_path, path}));
      fs::remove(signed_path);
    }
    return path;
  }

  // A package in the packages folder; its path.
  std::string AddPackage(const NupSpec& spec) {
    char name[32];
    std::snprintf(name, sizeof name, "zel%08X.nup", 0x100u + serial_);
    return MakeNup(Packages() + "/" + name, spec);
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
