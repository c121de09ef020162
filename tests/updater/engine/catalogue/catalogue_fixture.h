#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/store/profile_cache.h"
#include "platform/store/settings_store.h"
#include "support/net_servers.h"
#include "support/settings_file.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "updater.h"
#include "updater/api/catalogue_call.h"
#include "updater/api/context.h"
#include "updater/engine/catalogue/catalogue_fallback.h"

namespace upd::test {

// A small engine catalogue of category 3; tag tells catalogues apart.
inline std::string EngineCatalogue(const std::string& tag) {
  return "[ENGINE_" + tag +
         "]\r\nname=loader\r\ncategory=engine\r\nplatform=x64\r\n"
         "build=7\r\nfile=loader_" +
         tag + ".nup\r\n";
}

// A library context on the test's own folders, its host settings (the event
// host's) with a settings store in the test folder, and helpers to serve
// catalogues from nginx.
class CatalogueFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProfileCacheClear();
    PrepareDataFolder(dir_.file("data"));
    std::filesystem::create_directories(dir_.file("data"));
    std::filesystem::create_directories(dir_.file("modules"));
    context_ = UpdInitialize(dir_.file("data").c_str(), dir_.file("modules").c_str(), "1.0", "");
    ASSERT_NE(context_, nullptr);
    SetField(settings()->settingsStore, "file://" + StorePath());
    SetServer("AUTOSELECT");
  }

  void TearDown() override {
    UpdUninitialize(context_);
    ProfileCacheClear();
  }

  // Runs before the context is made on the data folder.
  virtual void PrepareDataFolder(const std::string& /*folder*/) {}

  UPDATER_SETTINGS* settings() { return host_.settings(); }

  template <size_t N>
  static void SetField(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    text.copy(field, N - 1);
  }
  void SetServer(const std::string& server) { SetField(settings()->updateServer, server); }
  void SetSecondServer(const std::string& server) { SetField(settings()->secondServer, server); }

  std::string StorePath() const { return dir_.file("settings.ini"); }
  // Writes the settings store with these "key=value" lines.
  void WriteStore(const std::vector<std::string>& lines) {
    WriteSettingsFile(StorePath(), lines);
  }
  // Stored default servers as "url weight" texts, in order.
  std::vector<std::string> StoredServers() {
    const std::string location = "file://" + StorePath();
    SettingsStorePtr store(SettingsStoreOpen(location.c_str(), kSettingsKindSettings, nullptr));
    std::vector<std::string> servers;
    uint32_t count = 0;
    if (!store || !SettingsStoreGetDword(store.get(), "DefaultServerCount", &count)) return servers;
    for (uint32_t i = 0; i < count; ++i) {
      char url[512] = {};
      uint32_t weight = 0;
      const std::string index = std::to_string(i);
      static_cast<void>(
          SettingsStoreGetString(store.get(), ("DefaultServer" + index).c_str(), url, sizeof url));
      if (!SettingsStoreGetDword(store.get(), ("DefaultServerWeight" + index).c_str(), &weight)) {
        weight = 1;
      }
      servers.push_back(std::string(url) + " " + std::to_string(weight));
    }
    return servers;
  }

  // The catalogue step as the host's own download runs it.
  UPD_ERROR Fetch(uint32_t attempts = 3) {
    return DownloadVerLocked(context_, settings(), attempts);
  }

  std::string UpdateFolder() const { return context_->updateFolder; }
  std::string RunCatalogue() const { return ReadFile(context_->updVerPath); }
  std::string LastCatalogue() const { return ReadFile(context_->lastUpdVerPath); }
  // The kept copy of a URL served on 127.0.0.1: "<update folder>127.0.0.1_<port><path>".
  std::string KeptCopy(const NetServer& server, const std::string& path) const {
    return UpdateFolder() + "127.0.0.1_" + std::to_string(server.port()) + path;
  }

  // Signs text with the update signing key into the server's root as name;
  // extra arguments go to the kit (such as "--foreign").
  std::string PutSigned(const WebServer& server, const std::string& name, const std::string& text,
                        const std::vector<std::string>& extra = {}) {
    std::string flat = name;
    std::replace(flat.begin(), flat.end(), '/', '_');
    const std::string plain = dir_.file("plain-" + flat);
    WriteFile(plain, text);
    const std::string out = server.root() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(out).parent_path());
    std::vector<std::string> args = {"sign", "Wexa Update Signing Certificate", plain, out};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_TRUE(SignKit(args));
    return out;
  }

  // The GET requests of the server's log for path.
  static std::vector<AccessLogEntry> Gets(const NetServer& server, const std::string& path,
                                          size_t at_least = 0) {
    std::vector<AccessLogEntry> gets;
    for (const AccessLogEntry& entry : server.AccessLog(at_least)) {
      if (entry.request.rfind("GET " + path + " ", 0) == 0) gets.push_back(entry);
    }
    return gets;
  }
  static size_t Requests(const NetServer& server, const std::string& path, size_t at_least = 0) {
    return Gets(server, path, at_least).size();
  }
  // Requests of any method for path (a download may begin with a HEAD).
  static size_t Asked(const NetServer& server, const std::string& path, size_t at_least = 0) {
    size_t count = 0;
    for (const AccessLogEntry& entry : server.AccessLog(at_least)) {
      if (entry.request.find(" " + path + " ") != std::string::npos) ++count;
    }
    return count;
  }

  TempDir dir_;
  testhost::EventHost host_;
  UPDATER_CONTEXT* context_ = nullptr;
};

}  // namespace upd::test
