#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/util/strings.h"
#include "support/net_servers.h"
#include "support/peer_process.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"
#include "updater.h"

namespace upd::test {

namespace fs = std::filesystem;

// Result flags of a run.
inline constexpr uint32_t kFlagEngineReplaced = 0x1;
inline constexpr uint32_t kFlagDownloaded = 0x4;
inline constexpr uint32_t kFlagNewCatalogue = 0x8;
inline constexpr uint32_t kFlagObtained = 0x200;
// A word the run never writes.
inline constexpr uint32_t kUntouched = 0xDEADBEEF;

// How a published package is made again: another header build, kit
// options ("--corrupt-payload"), then a tamper operation ("flip-signature").
struct Repacking {
  std::optional<uint32_t> header_build;
  std::vector<std::string> options;
  std::string tamper;
};

// A whole module update as a host runs it: an update server (nginx from
// the test kit) serving what tools/testpki/update_tree.py publishes, a
// library context on the test's own folders, a host that names the group
// "engine" and hands out the engine stand-in, and settings that let the
// library choose the server (the published one is the only candidate).
class RunFixture : public ::testing::Test {
 protected:
  virtual NginxServer::Options ServerOptions() const { return {}; }

  void SetUp() override {
    fs::create_directories(Modules());
    fs::create_directories(Data());
    server_ = std::make_unique<NginxServer>(dir_.path().string(), ServerOptions());
    ASSERT_TRUE(server_->running()) << server_->ErrorLog();
    UPDATER_SETTINGS* settings = host_.settings();
    SetText(settings->settingsStore, "file://" + StorePath());
    SetText(settings->updateServer, "AUTOSELECT");
    SetText(settings->secondServer, server_->Url());
    host_.OnEvent(UPD_EVENT_UPDATE_GROUPS, [](uint32_t, void* data) {
      SafeStrCopy(static_cast<char*>(data), UPD_GROUP_LIST_SIZE, "engine");
      return 0u;
    });
    engine_.ServeThrough(host_);
    context_ = CreateContext();
    ASSERT_NE(context_, nullptr);
  }

  virtual UPDATER_CONTEXT* CreateContext() {
    return UpdInitialize(Data().c_str(), Modules().c_str(), "1.0", "host");
  }

  void TearDown() override {
    // Every engine the library obtained went back, on every path.
    EXPECT_TRUE(engine_.counts().Balanced());
    if (context_ != nullptr) UpdUninitialize(context_);
  }

  template <size_t N>
  static void SetText(char (&field)[N], const std::string& text) {
    SafeStrCopy(field, N, text.c_str());
  }

  std::string Modules() const { return dir_.file("modules"); }
  std::string Data() const { return dir_.file("data"); }
  std::string StorePath() const { return dir_.file("settings.ini"); }
  std::string UpdateFolder() const { return Data() + "/updfiles"; }
  std::string ModulePath(const std::string& module) const {
    return Modules() + "/" + module + ".dat";
  }

  // Publishes on the server what update_tree.py makes of args (the modules
  // it makes are kept aside for Module()).
  void Publish(const std::vector<std::string>& args) {
    fs::remove_all(server_->root());
    fs::create_directories(server_->root());
    std::string command = "'" + PythonPath() + "' '" +
                          SourcePath("tools/testpki/update_tree.py") + "' --trust '" +
                          TrustFolder() + "' --modules-out '" + dir_.file("expected") + "' '" +
                          server_->root() + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    std::string out;
    ASSERT_EQ(RunCommand(command + " 2>&1 </dev/null", &out), 0) << command << "\n" << out;
    // The server's validators of the catalogue (its time in seconds and its
    // size) must change with every publication, however fast they follow.
    const std::string catalogue = server_->root() + "/update.ver.signed";
    if (fs::exists(catalogue)) {
      fs::last_write_time(catalogue, fs::last_write_time(catalogue) +
                                         std::chrono::hours(++publications_));
    }
  }

  // The module file a published package makes.
  std::string Module(const std::string& module, uint32_t build) const {
    return ReadFile(dir_.file("expected") + "/" + module + "-" + std::to_string(build) + ".dat");
  }

  // Makes the published full package of module at build again from its
  // module file.
  void Repack(const std::string& module, uint32_t build, const Repacking& how) {
    const std::string payload = dir_.file("repack-payload");
    WriteFile(payload, Module(module, build));
    const std::string package =
        server_->root() + "/p/" + module + "-" + std::to_string(build) + ".nup";
    const std::string made = how.tamper.empty() ? package : dir_.file("repack.nup");
    std::vector<std::string> args = {"nup",
                                     made,
                                     payload,
                                     "filename=" + module + ".dat",
                                     "type=" + module,
                                     "platform=x64",
                                     "build=" + std::to_string(how.header_build.value_or(build))};
    args.insert(args.end(), how.options.begin(), how.options.end());
    ASSERT_TRUE(SignKit(args));
    if (!how.tamper.empty()) {
      ASSERT_TRUE(SignKit({"tamper", how.tamper, made, package}));
    }
  }

  // The host's module file before the run.
  void PutModule(const std::string& module, uint32_t build) {
    WriteFile(ModulePath(module), Module(module, build));
  }

  UPD_ERROR Run() {
    flags_ = kUntouched;
    host_.Clear();
    return UpdPerformUpdate(context_, host_.settings(), &flags_);
  }

  // Every entry under folder: files with their contents, folders as "<folder>".
  static std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(folder)) return tree;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      const std::string name = fs::relative(entry.path(), folder).string();
      tree[name] = entry.is_directory() ? "<folder>" : ReadFile(entry.path().string());
    }
    return tree;
  }

  static std::vector<std::string> Names(const std::map<std::string, std::string>& tree) {
    std::vector<std::string> names;
    for (const auto& [name, content] : tree) names.push_back(name);
    return names;
  }

  // The phases the host saw through event 6, in order.
  std::vector<uint32_t> Phases() const {
    std::vector<uint32_t> phases;
    for (const auto& event : host_.EventsOf(UPD_EVENT_PHASE)) {
      phases.push_back(event.As<uint32_t>());
    }
    return phases;
  }

  std::vector<uint32_t> EventIds() const {
    std::vector<uint32_t> ids;
    for (const auto& event : host_.events()) ids.push_back(event.event);
    return ids;
  }

  TempDir dir_;
  std::unique_ptr<NginxServer> server_;
  testhost::EventHost host_;
  testhost::EngineStandIn engine_;
  UPDATER_CONTEXT* context_ = nullptr;
  uint32_t flags_ = kUntouched;
  int publications_ = 0;
};

}  // namespace upd::test
