#include <utility>

#include "platform/os/os_time.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_copy_names.h"
#include "updater/backup/backup_database.h"
#include "updater/backup/backup_settings.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/lists/module_scan.h"

UpdError CBackupStore::StoreModules(const CListBase& components, CBackupState* state,
                                    std::vector<std::string>* new_copies) {
  // Every stored record and those of this snapshot so far: a new copy never
  // takes a name one of them uses.
  std::vector<UPDATER_BACKUP_MODULE_INFO> held = HeldModules();
  for (const _COMPONENT_INFO& component : components) {
    if ((component.flags & kComponentModuleFile) == 0) continue;
    UPDATER_BACKUP_MODULE_INFO module = BackupModuleOf(component, modules_folder_.c_str());
    // A file outside the modules folder could not be put back.
    if (!IsSafeModulePath(module.orig)) continue;
    BackupCopyChoice copy = ChooseBackupCopy(module, held);
    module.file = std::move(copy.file);
    if (!copy.shared) {
      new_copies->push_back(module.file);
      const UPD_ERROR copied = FileCopy(component.localFile.c_str(), CopyPath(module.file).c_str(),
                                        kFileCopyOverwrite | kFileCopyFlush);
      if (copied != kUpdOk) return static_cast<UpdError>(copied);
    }
    held.push_back(module);
    state->GetModules().Add(module);
  }
  return kUpdOk;
}

UpdError CBackupStore::CreateSnapshot(const CListBase& components, int64_t keep) {
  Locked locked(lock_.get());
  const int64_t now = OsTime();
  CBackupState state(NextTimestamp(static_cast<uint32_t>(now)));
  std::vector<std::string> new_copies;
  UpdError result = StoreModules(components, &state, &new_copies);
  if (result == kUpdOk) {
    _XML_NODE* element =
        root_ != nullptr ? AppendSnapshotElement(document_.get(), root_, state) : nullptr;
    if (element == nullptr) {
      result = kUpdOutOfMemory;
    } else if (!SaveDatabase()) {
      result = static_cast<UpdError>(MapDiskFullError(kUpdWriteFailed));
      static_cast<void>(MemStoreRemoveNode(document_.get(), element));
    }
  }
  if (result != kUpdOk) {
    DeleteUnusedCopies(new_copies);
    return result;
  }
  static_cast<void>(RemoveOldest(static_cast<uint64_t>(keep)));
  static_cast<void>(ChangeBackupSettings(config_path_.c_str(), [now](BACKUP_SETTINGS& settings) {
    settings.LastBackupTime = static_cast<uint32_t>(now);
  }));
  return kUpdOk;
}

UpdError CBackupStore::SnapshotInstalledModules(const UPDATER_SETTINGS* settings,
                                                const char* modules_folder) {
  CListBase installed;
  ScanInstalledModulesEx(installed, settings, modules_folder);
  if (installed.IsEmpty()) return kUpdNoInstalledModule;
  // The count is kept as the host gave it: all bits set keeps every snapshot.
  const int64_t keep = static_cast<int32_t>(settings->backupSnapshotsToKeep);
  return CreateSnapshot(installed, keep);
}
