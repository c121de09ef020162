#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/store/backup_settings_schema.h"
#include "platform/store/xml_document.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// The backup settings file "config.xml": the BACKUP_SETTINGS record kept as
// typed values under the backup plug-in's path, below the root WEXA. The file
// is read anew for each question and rewritten whole for each change.

// The plug-in id that names the record's PLUGIN element.
inline constexpr uint32_t kBackupPluginId = 0x02000400;
// Element nesting the settings loader accepts.
inline constexpr uint32_t kBackupXmlDepth = 500;

// Fills record with the defaults, then reads it from document; false for a
// null document or a record that is not there.
[[nodiscard]] bool LoadPluginRecord(BACKUP_SETTINGS* record, _XML_DOCUMENT* document);
// Writes the four values into document.
[[nodiscard]] bool SavePluginRecord(const BACKUP_SETTINGS& record, _XML_DOCUMENT* document);

// The record of the file at path; none when the file or the record cannot be
// read.
[[nodiscard]] std::optional<BACKUP_SETTINGS> ReadBackupSettings(const char* path);

// Writes record as a new file of its own at path; false when it is not written.
[[nodiscard]] bool SaveBackupSettings(const char* path, const BACKUP_SETTINGS& record);

// Reads the record, lets change edit it and writes it back as a new file:
// 0, kUpdSettingsUnreadable, or kUpdSettingsNotWritten.
[[nodiscard]] UpdError ChangeBackupSettings(const char* path,
                                            const std::function<void(BACKUP_SETTINGS&)>& change);
