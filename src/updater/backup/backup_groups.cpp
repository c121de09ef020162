#include <string>

#include "platform/util/file_finder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/lists/engine_module_info.h"

namespace {

// The group whose modules are parked when none is stored.
constexpr char kDefaultGroup[] = "Release";
// Longest group name read from the settings store, NUL included.
constexpr uint32_t kGroupNameSize = 256;
// FileMove flags of a parked module going back: overwrite, copy when the
// rename fails, create the folder, flush the target.
constexpr uint32_t kUnparkFlags =
    kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveCreateFolder | kFileMoveFlushTarget;

// A group's folder is one entry of the backup folder: a name such as ".." or
// "a/../.." would park modules elsewhere and, on their return, delete a
// foreign folder tree.
bool IsSafeGroup(const char* group) { return group != nullptr && IsSafeCopyName(group); }

std::string GroupFolder(const CBackupStore& store, const char* group) {
  return store.BackupFolder() + "/" + group;
}

std::string StoredGroup(const UPDATER_SETTINGS* settings) {
  char group[kGroupNameSize] = {};
  const SettingsStorePtr stored = OpenSettingsStore(settings);
  if (stored == nullptr ||
      !SettingsStoreGetString(stored.get(), kKeyUpdateServerGroup, group, sizeof group) ||
      group[0] == '\0') {
    return kDefaultGroup;
  }
  return group;
}

}  // namespace

void CBackupStore::SaveComponentFile(const _COMPONENT_INFO& component, const char* group_name) {
  if (!IsSafeGroup(group_name)) return;
  const std::string relative = BackupModuleOf(component, modules_folder_.c_str()).orig;
  if (!IsSafeModulePath(relative)) return;
  const std::string target = GroupFolder(*this, group_name) + "/" + relative;
  static_cast<void>(FileCopy(component.localFile.c_str(), target.c_str(),
                             kFileCopyOverwrite | kFileCopyCreateFolder));
}

UpdError CleanupModules(CBackupStore& store, const ENGINE_DISPATCH* engine, const char* group,
                        CListBase& list) {
  if (!IsSafeGroup(group)) return kUpdOk;
  const std::string folder = GroupFolder(store, group);
  UPD_ERROR result = kUpdOk;
  CFileFinder finder(folder.c_str(), "em*.dat", kOsAttrRegular);
  for (const char* path : finder) {
    CListBase read;
    _COMPONENT_INFO parked;
    parked.localFile = path;
    if (!ReadModuleInfoFromEngine(read, engine, &parked)) continue;
    const ListIndex listed = list.FindByIdNamePlatform(parked.category, parked.module,
                                                       parked.platform, kComponentModuleFile);
    if (listed != kNoEntry && list[listed].build >= parked.build) continue;
    const std::string target = store.ModulesFolder() + finder.Name();
    const UPD_ERROR moved = FileMove(path, target.c_str(), kUnparkFlags);
    if (moved != kUpdOk) {
      result = moved;
      continue;
    }
    parked.localFile = target;
    if (listed != kNoEntry) {
      list[listed].build = parked.build;
    } else {
      list.Add(parked);
    }
  }
  static_cast<void>(DeleteFolder(folder.c_str(), true));
  return static_cast<UpdError>(result);
}

UpdError CleanupModulesForGroup(CBackupStore& store, const UPDATER_SETTINGS* settings,
                                const ENGINE_DISPATCH* engine, CListBase& list) {
  const std::string group = StoredGroup(settings);
  return CleanupModules(store, engine, group.c_str(), list);
}
