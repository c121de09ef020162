#pragma once

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../catalogue_file_fixture.h"
#include "support/settings_file.h"
#include "updater.h"
#include "updater/engine/servers/server_list.h"

namespace upd::test {

using ServerEntries = std::vector<std::pair<std::string, uint32_t>>;

// The entries of a server list, for comparisons.
inline ServerEntries Entries(const CDefServersArray& servers) {
  ServerEntries entries;
  for (const _DEF_SERVER& server : servers) entries.emplace_back(server.url, server.weight);
  return entries;
}

inline CDefServersArray MakeServers(const ServerEntries& entries) {
  CDefServersArray servers;
  for (const auto& [url, weight] : entries) AddServer(servers, url, weight);
  return servers;
}

// A catalogue folder with host settings whose settings store lies in it.
class ServerTest : public CatalogueTest {
 protected:
  ServerTest() : settings_(std::make_unique<UPDATER_SETTINGS>()) {
    SetStoreLocation("file://" + StorePath());
  }

  std::string StorePath() const { return dir_.file("settings.ini"); }

  void SetStoreLocation(const std::string& location) {
    std::memset(settings_->settingsStore, 0, sizeof settings_->settingsStore);
    location.copy(settings_->settingsStore, sizeof settings_->settingsStore - 1);
  }

  // Writes the store with these "key=value" lines.
  void WriteStore(const std::vector<std::string>& lines) {
    WriteSettingsFile(StorePath(), lines);
  }

  // The stored value of key; none when it is absent.
  std::optional<std::string> Stored(const char* key) const {
    return StoredSetting(StorePath(), key);
  }

  std::unique_ptr<UPDATER_SETTINGS> settings_;
};

}  // namespace upd::test
