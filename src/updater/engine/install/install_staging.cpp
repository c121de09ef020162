#include "updater/engine/install/install_staging.h"

#include <utility>

#include "platform/os/os_file_ops.h"
#include "platform/os/os_folder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/install/module_moves.h"
#include "updater/engine/package/update_package.h"

namespace {

std::string StagingFolder(const char* modules_folder) {
  return std::string(modules_folder) + kStagingFolder;
}

// The mode must be right before the file appears under a module name; a
// failure leaves the temporary file's own mode and does not stop the install.
void MakeReadable(const char* file) { (void)OsFileSetMode(file, kModuleFileMode); }

}  // namespace

ModuleInstallState::~ModuleInstallState() {
  for (const InstallRecord& record : records_) {
    const bool only_copy = !committed_ && (record.state & InstallRecord::kOldKept) != 0;
    if (!only_copy) (void)DeleteFileChecked(record.oldPath.c_str(), 0);
    (void)DeleteFileChecked(record.stagedPath.c_str(), 0);
  }
  // Only an empty folder goes, and only one this installation made.
  if (madeStagingFolder_) (void)OsFolderDelete(StagingFolder(modulesFolder_).c_str());
}

UpdError ModuleInstallState::InstallModuleFile(const char* file, const char* file_name,
                                               const char* module_name, uint32_t build,
                                               uint32_t platform, InstallMode mode) {
  // The name comes from a package header: anything but a plain name would
  // place the module outside the modules folder.
  if (!IsPlainFileName(file_name)) return kUpdBadFile;
  const std::string target = std::string(modulesFolder_) + file_name;
  if (mode == InstallMode::kDirect) return InstallModuleDirect(file, target, module_name);
  InstallRecord record;
  record.build = build;
  record.platform = platform;
  record.stagedPath = StagingFolder(modulesFolder_) + '/' + file_name;
  record.targetPath = target;
  record.oldPath = target + kOldSuffix;
  record.fileName = file_name;
  record.moduleName = module_name;
  return InstallModuleStaged(file, std::move(record));
}

UpdError ModuleInstallState::InstallModuleStaged(const char* file, InstallRecord record) {
  const std::string folder = StagingFolder(modulesFolder_);
  if (!FolderExists(folder.c_str())) {
    if (OsCreateFolderTree(folder.c_str()) != 0) return kUpdFolderFailed;
    madeStagingFolder_ = true;
  }
  MakeReadable(file);
  const UpdError rc = MoveIntoPlace(file, record.stagedPath.c_str());
  if (rc != kUpdOk) return rc;
  if (AsciiStrICmp(record.moduleName.c_str(), kLoaderModule) == 0) engineFolder_ = folder;
  records_.push_back(std::move(record));
  return kUpdOk;
}

UpdError ModuleInstallState::InstallModuleDirect(const char* file, const std::string& target,
                                                 const char* module_name) {
  MakeReadable(file);
  const UpdError rc = MoveIntoPlace(file, target.c_str());
  if (rc != kUpdOk) return rc;
  if (AsciiStrICmp(module_name, kLoaderModule) == 0) {
    engineFolder_ = modulesFolder_;
    if (engineFolder_.size() > 1) engineFolder_.pop_back();  // the folder without its '/'
  }
  return kUpdOk;
}

UpdError ModuleInstallState::CommitAll() {
  for (InstallRecord& record : records_) {
    switch (KeepOldFile(record.targetPath.c_str(), record.oldPath.c_str())) {
      case KeepResult::kKept:
        record.state |= InstallRecord::kOldKept;
        break;
      case KeepResult::kMissing:
        break;
      case KeepResult::kFailed:
        // Replacing a target whose old file is not kept could not be undone.
        return kUpdMoveFailed;
    }
    const UpdError rc = MoveIntoPlace(record.stagedPath.c_str(), record.targetPath.c_str());
    if (rc != kUpdOk) return rc;
    record.state |= InstallRecord::kNewInPlace;
  }
  committed_ = true;
  return kUpdOk;
}

UpdError ModuleInstallState::RollbackAll() {
  UPD_ERROR result = kUpdOk;
  for (InstallRecord& record : records_) {
    const bool old_kept = (record.state & InstallRecord::kOldKept) != 0;
    const bool new_in_place = (record.state & InstallRecord::kNewInPlace) != 0;
    if (old_kept && new_in_place) {
      // One rename puts the old file back over the new one: the target is
      // never missing.
      const UpdError rc = MoveIntoPlace(record.oldPath.c_str(), record.targetPath.c_str());
      if (rc != kUpdOk) {
        result = rc;
        continue;
      }
    } else if (new_in_place) {
      // There was no module before: the new one goes back to the staging folder.
      const UpdError rc = MoveIntoPlace(record.targetPath.c_str(), record.stagedPath.c_str());
      if (rc != kUpdOk) {
        result = rc;
        continue;
      }
    }
    // Kept but not replaced: the target still holds the old file.
    record.state = 0;
  }
  committed_ = false;
  return static_cast<UpdError>(result);
}

bool ModuleInstallState::HasRecord(const char* module, uint32_t platform, uint64_t build) const {
  for (const InstallRecord& record : records_) {
    if (record.platform == platform && record.build == build &&
        AsciiStrICmp(record.moduleName.c_str(), module) == 0) {
      return true;
    }
  }
  return false;
}

bool ModuleInstallState::AllPendingInstalled(const CUpdateList& update_list,
                                             const CContinuousList& continuous_list) const {
  for (ListIndex i = 0; i < update_list.GetSize(); ++i) {
    const _COMPONENT_INFO& entry = update_list[i];
    if (!IsToInstall(entry) || entry.level != kLevelFull) continue;
    const uint32_t reached = update_list.FindDeltaFor(i, nullptr, nullptr);
    if (!HasRecord(entry.module, entry.platform, reached)) return false;
  }
  for (const _COMPONENT_INFO& entry : continuous_list) {
    if (!IsToInstall(entry)) continue;
    if (!HasRecord(entry.module, entry.platform, static_cast<uint32_t>(entry.build))) return false;
  }
  return true;
}

void ModuleInstallState::UpdateBaseBuilds(CListBase& base_list) const {
  for (const InstallRecord& record : records_) {
    const ListIndex i = base_list.FindByIdNamePlatform(kCategoryEngine, record.moduleName.c_str(),
                                                       record.platform, kComponentModuleFile);
    if (i != kNoEntry) base_list[i].build = record.build;
  }
}

bool ModuleInstallState::HoldsNewerModule(const CBackupState& snapshot) const {
  for (const UPDATER_BACKUP_MODULE_INFO& module : snapshot.GetModules()) {
    for (const InstallRecord& record : records_) {
      if (module.orig == record.fileName && module.platform == record.platform &&
          module.build > record.build) {
        return true;
      }
    }
  }
  return false;
}

void ModuleInstallState::DropNewerSnapshots(CBackupStore& store) const {
  CBackupStateArray snapshots;
  (void)store.LoadSnapshots(&snapshots);
  for (const CBackupState& snapshot : snapshots) {
    if (HoldsNewerModule(snapshot)) (void)store.RemoveSnapshot(snapshot.GetTimestamp(), false);
  }
}
