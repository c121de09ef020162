#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../api/library_fixture.h"
#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "testhost/allocator_host.h"
#include "testhost/engine_standin.h"

namespace upd::test {

// One "pico" section of a catalogue.
struct PicoSection {
  std::string name;
  uint32_t id = 0;
  std::string module;
  uint32_t base = 0;
  uint32_t interval = 0;
  std::string file;
};

inline std::string PicoSectionText(const PicoSection& section) {
  return "[" + section.name + "]\ncategory=pico\ntype=" + section.module +
         "\nid=" + std::to_string(section.id) + "\nbase=" + std::to_string(section.base) +
         "\ninterval=" + std::to_string(section.interval) + "\nfile=" + section.file + "\n";
}

// An engine module section offered to the group "grp" on x64.
inline std::string EngineSectionText(const std::string& section, const std::string& module) {
  return "[" + section + "]\ncategory=engine\nplatform=x64\ngroup=grp\ntype=" + module +
         "\nbuild=7\nversion=7\nfile=" + module + ".nup\n";
}

// WriteFile into a folder that may not exist yet.
inline void WritePath(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFile(path, content);
}

// Names of the entries of a folder, sorted; empty when it does not exist.
inline std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A library context made by UpdInitialize4 with a pico folder, a host that
// serves the engine stand-in and names the update group "grp", and nginx as
// the configured update server.
class PicoExportsFixture : public ::testing::Test {
 protected:
  static constexpr uint32_t kId = 12;

  void SetUp() override {
    ASSERT_TRUE(Library().loaded()) << Library().error();
    std::filesystem::create_directories(Modules());
    std::filesystem::create_directories(Data());
    engine_.ServeThrough(host_);
    host_.OnEvent(UPD_EVENT_UPDATE_GROUPS, [](uint32_t, void* data) {
      std::strcpy(static_cast<char*>(data), "grp");
      return 0u;
    });
    UPDATER_SETTINGS* settings = host_.settings();
    const std::string store = "file://" + dir_.file("settings.ini");
    std::memcpy(settings->settingsStore, store.c_str(), store.size() + 1);
    ASSERT_TRUE(web_.running());
    const std::string server = web_.Url("/");
    std::memcpy(settings->updateServer, server.c_str(), server.size() + 1);
    context_ = Initialize(PicoRoot().c_str());
    ASSERT_NE(context_, nullptr);
  }

  void TearDown() override {
    LIB(UpdUninitialize)(context_);
    EXPECT_TRUE(engine_.counts().Balanced());
  }

  UPDATER_CONTEXT* Initialize(const char* pico_folder) {
    const std::string modules = Modules();
    const std::string data = Data();
    UPDATER_INIT_PARAMS params{};
    params.cbSize = sizeof params;
    params.modulesFolder = modules.c_str();
    params.engineFolder = modules.c_str();
    params.dataFolder = data.c_str();
    params.picoFolder = pico_folder;
    params.appVersion = "1.2.3";
    return LIB(UpdInitialize4)(&params);
  }

  std::string Data() const { return dir_.file("data"); }
  std::string Modules() const { return dir_.file("modules"); }
  std::string PicoRoot() const { return dir_.file("pico"); }
  std::string Folder(uint32_t id = kId) const { return PicoRoot() + "/" + std::to_string(id); }
  std::string ModVer() const { return Data() + "/updfiles/mod.ver"; }

  // A mod.ver announcing pico kId (files from `base` in "pico/12/") for the
  // installed module "scan64".
  void Announce(uint32_t base = 5, uint32_t interval = 3600) {
    WritePath(ModVer(), EngineSectionText("scan", "scan64") +
                            PicoSectionText({"p12", kId, "scan", base, interval, "pico/12"}));
  }

  // Files first..last of pico kId on the server.
  void Serve(uint32_t first, uint32_t last) {
    for (uint32_t n = first; n <= last; ++n) {
      web_.PutFile("pico/12/" + std::to_string(n) + ".pic", testhost::PicoFileText(kId, n));
    }
  }

  void PutLocal(uint32_t n, uint32_t sequence) {
    WritePath(Folder() + "/" + std::to_string(n) + ".pic", testhost::PicoFileText(kId, sequence));
  }

  UPD_PICO_PARAMS Params(uint32_t id = kId) {
    UPD_PICO_PARAMS params{};
    params.cbSize = sizeof params;
    params.context = context_;
    params.settings = host_.settings();
    params.picoId = id;
    return params;
  }

  UPD_ERROR List(UPD_PICO_LIST_RESULT* result) {
    const UPD_PICO_PARAMS params = Params();
    return LIB(UpdGetPicoUpdates)(&params, result);
  }

  // Lists the picos (which builds the map from mod.ver before any run).
  void ListPicos() {
    testhost::AllocatorHost allocator;
    UPD_PICO_LIST_RESULT result{};
    result.cbSize = sizeof result;
    result.picos.allocator = allocator.allocator();
    ASSERT_EQ(List(&result), kUpdOk);
    allocator.allocator()->Free(result.picos.elements);
  }

  UPD_ERROR Perform(uint32_t id = kId) {
    const UPD_PICO_PARAMS params = Params(id);
    UPD_PICO_UPDATE_RESULT result{};
    result.cbSize = sizeof result;
    const UPD_ERROR code = LIB(UpdPerformPicoUpdate)(&params, &result);
    EXPECT_EQ(result.cbSize, sizeof result);
    return code;
  }

  // The pico files requested from the server with a GET, in order.
  std::vector<std::string> Fetched(size_t at_least = 0) const {
    std::vector<std::string> files;
    for (const AccessLogEntry& entry : web_.AccessLog(at_least)) {
      if (entry.request.rfind("GET /pico/", 0) != 0 || entry.status != 200) continue;
      const std::string target = entry.request.substr(4, entry.request.find(' ', 4) - 4);
      files.push_back(target.substr(target.rfind('/') + 1));
    }
    return files;
  }

  TempDir dir_;
  testhost::EventHost host_;
  testhost::EngineStandIn engine_;
  NginxServer web_{dir_.path().string()};
  UPDATER_CONTEXT* context_ = nullptr;
};

}  // namespace upd::test
