#include "platform/store/backup_settings_schema.h"

#include <cstddef>

#include "platform/util/strings.h"

namespace {

constexpr SCHEMA_FIELD Dword(size_t offset, uint64_t default_number, const char* name) {
  return {kSchemaDword, nullptr, offset, sizeof(uint32_t), default_number, nullptr,
          nullptr,      name,    0};
}

}  // namespace

const SCHEMA_FIELD kBackupSettingsSchema[] = {
    {kSchemaPath, nullptr, 0, 0, 0, nullptr, kBackupSettingsPath, nullptr, 0},
    Dword(offsetof(BACKUP_SETTINGS, SnapshotCount), 1, "SnapshotCount"),
    Dword(offsetof(BACKUP_SETTINGS, BackupEnabled), 1, "BackupEnabled"),
    Dword(offsetof(BACKUP_SETTINGS, LastBackupTime), 0, "LastBackupTime"),
    Dword(offsetof(BACKUP_SETTINGS, ReenableUpdateTime), 0, "ReenableUpdateTime"),
    {kSchemaEnd, nullptr, 0, 0, 0, nullptr, nullptr, nullptr, 0},
};

std::string BackupSettingsSubstitutions(uint32_t plugin_id) {
  char list[32];
  SafeSnprintf(list, sizeof(list), "${PluginID}=%08X", plugin_id);
  return list;
}
