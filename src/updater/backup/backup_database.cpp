#include "updater/backup/backup_database.h"

#include "platform/store/typed_values.h"

namespace {

bool ReadText(const _XML_DOCUMENT* document, const _XML_NODE* element, const wchar_t* name,
              char* buffer, size_t size) {
  return MemStoreGetString(document, element, name, buffer, &size) == 0;
}

bool ReadPath(const _XML_DOCUMENT* document, const _XML_NODE* element, const wchar_t* name,
              std::string* out) {
  char buffer[kBackupPathSize];
  if (!ReadText(document, element, name, buffer, sizeof buffer)) return false;
  *out = buffer;
  return true;
}

std::optional<UPDATER_BACKUP_MODULE_INFO> ReadModuleElement(const _XML_DOCUMENT* document,
                                                            const _XML_NODE* element) {
  UPDATER_BACKUP_MODULE_INFO module;
  const bool read = MemStoreGetDword(document, element, L"ID", &module.id) == 0 &&
                    MemStoreGetDword(document, element, L"PLATFORM", &module.platform) == 0 &&
                    MemStoreGetQword(document, element, L"BUILD", &module.build) == 0 &&
                    ReadText(document, element, L"TYPE", module.type, sizeof module.type) &&
                    ReadPath(document, element, L"FILE", &module.file) &&
                    ReadPath(document, element, L"ORIG", &module.orig);
  if (!read || !IsSafeCopyName(module.file) || !IsSafeModulePath(module.orig)) return std::nullopt;
  return module;
}

bool WriteModuleElement(_XML_DOCUMENT* document, _XML_NODE* snapshot,
                        const UPDATER_BACKUP_MODULE_INFO& module) {
  _XML_NODE* element = MemStoreAddChild(document, snapshot, L"MODULE");
  return element != nullptr && MemStoreSetDword(document, element, L"ID", module.id) == 0 &&
         MemStoreSetDword(document, element, L"PLATFORM", module.platform) == 0 &&
         MemStoreSetQword(document, element, L"BUILD", module.build) == 0 &&
         MemStoreSetString(document, element, L"TYPE", module.type) == 0 &&
         MemStoreSetString(document, element, L"FILE", module.file.c_str()) == 0 &&
         MemStoreSetString(document, element, L"ORIG", module.orig.c_str()) == 0;
}

}  // namespace

XmlDocumentPtr NewBackupDatabase() {
  XmlDocumentPtr document = MemStoreCreate(0);
  if (document == nullptr) return nullptr;
  _XML_NODE* root = MemStoreCreateRoot(document.get(), L"BACKUP");
  if (root == nullptr ||
      MemStoreSetDword(document.get(), root, L"VERSION", kBackupDatabaseVersion) != 0) {
    return nullptr;
  }
  return document;
}

bool IsDatabaseCurrent(const _XML_DOCUMENT* document, const _XML_NODE* root) {
  uint32_t version = 0;
  return root != nullptr && MemStoreGetDword(document, root, L"VERSION", &version) == 0 &&
         version > 1;
}

std::vector<_XML_NODE*> SnapshotElements(const _XML_NODE* root) {
  std::vector<_XML_NODE*> snapshots;
  MemStoreCursor cursor;
  while (_XML_NODE* snapshot = MemStoreFindChild(root, L"SNAPSHOT", &cursor, false)) {
    snapshots.push_back(snapshot);
  }
  return snapshots;
}

std::optional<uint32_t> SnapshotTimestamp(const _XML_DOCUMENT* document,
                                          const _XML_NODE* snapshot) {
  uint32_t timestamp = 0;
  if (MemStoreGetDword(document, snapshot, L"TIMESTAMP", &timestamp) != 0) return std::nullopt;
  return timestamp;
}

CBackupState ReadSnapshotElement(const _XML_DOCUMENT* document, const _XML_NODE* snapshot) {
  CBackupState state(SnapshotTimestamp(document, snapshot).value_or(0));
  MemStoreCursor cursor;
  while (const _XML_NODE* element = MemStoreFindChild(snapshot, L"MODULE", &cursor, false)) {
    if (auto module = ReadModuleElement(document, element)) state.GetModules().Add(*module);
  }
  return state;
}

_XML_NODE* AppendSnapshotElement(_XML_DOCUMENT* document, _XML_NODE* root,
                                 const CBackupState& state) {
  _XML_NODE* snapshot = MemStoreAddChild(document, root, L"SNAPSHOT");
  if (snapshot == nullptr) return nullptr;
  bool written = MemStoreSetDword(document, snapshot, L"TIMESTAMP", state.GetTimestamp()) == 0;
  for (const UPDATER_BACKUP_MODULE_INFO& module : state.GetModules()) {
    written = written && WriteModuleElement(document, snapshot, module);
  }
  if (written) return snapshot;
  static_cast<void>(MemStoreRemoveNode(document, snapshot));
  return nullptr;
}
