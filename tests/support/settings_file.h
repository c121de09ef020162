#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/store/settings_store.h"
#include "support/temp_dir.h"

namespace upd::test {

// Writes the settings store file at path with these "key=value" lines.
inline void WriteSettingsFile(const std::string& path, const std::vector<std::string>& lines) {
  std::string text = "[Settings]\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  WriteFile(path, text);
}

// The string the settings store file at path holds for key; none when it is
// absent.
inline std::optional<std::string> StoredSetting(const std::string& path, const char* key) {
  const std::string location = "file://" + path;
  SettingsStorePtr store(SettingsStoreOpen(location.c_str(), kSettingsKindSettings, nullptr));
  char value[4096] = {};
  if (!store || !SettingsStoreGetString(store.get(), key, value, sizeof value)) return {};
  return std::string(value);
}

}  // namespace upd::test
