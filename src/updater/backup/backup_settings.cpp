#include "updater/backup/backup_settings.h"

#include <string>

#include "platform/store/schema_io.h"
#include "platform/store/xml_file.h"
#include "platform/util/update_errors.h"

namespace {

const std::string& Substitutions() {
  static const std::string list = BackupSettingsSubstitutions(kBackupPluginId);
  return list;
}

}  // namespace

bool LoadPluginRecord(BACKUP_SETTINGS* record, _XML_DOCUMENT* document) {
  SchemaLoadDefaults(kBackupSettingsSchema, record);
  if (document == nullptr) return false;
  return SchemaLoad(kBackupSettingsSchema, record, Substitutions().c_str(), document, nullptr) == 1;
}

bool SavePluginRecord(const BACKUP_SETTINGS& record, _XML_DOCUMENT* document) {
  return SchemaSave(kBackupSettingsSchema, &record, Substitutions().c_str(), document, nullptr,
                    1) == 1;
}

std::optional<BACKUP_SETTINGS> ReadBackupSettings(const char* path) {
  XmlDocumentPtr document;
  if (MemStoreLoadFile(&document, path, kBackupXmlDepth) != kXmlOk) return std::nullopt;
  BACKUP_SETTINGS record;
  if (!LoadPluginRecord(&record, document.get())) return std::nullopt;
  return record;
}

bool SaveBackupSettings(const char* path, const BACKUP_SETTINGS& record) {
  XmlDocumentPtr document = MemStoreCreate(0);
  if (document == nullptr) return false;
  _XML_NODE* root = MemStoreCreateRoot(document.get(), L"WEXA");
  if (root == nullptr || !SavePluginRecord(record, document.get())) return false;
  return MemStoreSaveFile(document.get(), root, path) == kXmlOk;
}

UpdError ChangeBackupSettings(const char* path,
                              const std::function<void(BACKUP_SETTINGS&)>& change) {
  std::optional<BACKUP_SETTINGS> record = ReadBackupSettings(path);
  if (!record) return kUpdSettingsUnreadable;
  change(*record);
  return SaveBackupSettings(path, *record) ? kUpdOk : kUpdSettingsNotWritten;
}
