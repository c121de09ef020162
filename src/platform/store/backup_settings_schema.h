#pragma once

#include <cstdint>
#include <string>

#include "platform/store/schema_io.h"

// The backup store's settings record ("config.xml"), kept as typed values in
// the PLUGIN element whose ID is the engine's plugin id.
struct BACKUP_SETTINGS {
  uint32_t SnapshotCount;  // snapshots to keep
  uint32_t BackupEnabled;
  uint32_t LastBackupTime;      // seconds since 1970 of the last snapshot
  uint32_t ReenableUpdateTime;  // updates stay blocked until then
};

// Path of the record, with the plugin-id token.
inline constexpr const wchar_t* kBackupSettingsPath =
    L"SECTION\\SETTINGS\\PLUGINS\\PLUGIN;ID=#${PluginID}\\SETTINGS";

// The descriptor table, ended by kSchemaEnd.
extern const SCHEMA_FIELD kBackupSettingsSchema[];

// The substitution list "${PluginID}=%08X" of a plugin id.
[[nodiscard]] std::string BackupSettingsSubstitutions(uint32_t plugin_id);
