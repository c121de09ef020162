#include "updater/engine/install/module_installer.h"

#include <string>

#include "platform/util/host_bridge.h"
#include "platform/util/strings.h"
#include "platform/util/temp_dir.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/common/component_tables.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/install/delta_install.h"
#include "updater/engine/install/install_lock.h"
#include "updater/engine/install/install_run.h"
#include "updater/engine/install/package_chain.h"

namespace {

// Kind of the status (2) and file (3) events of the installation.
constexpr uint32_t kInstallEventKind = 2;

// The engine the host hands out for one installation: for a folder (event
// 26) or the usual one (28), given back by the matching event (27 or 29) on
// every path. A pair the host left all zero was never handed out.
class EngineLease {
 public:
  EngineLease(const UPDATER_SETTINGS* settings, const std::string& folder)
      : settings_(settings), byFolder_(!folder.empty()) {
    pair_ = byFolder_ ? NotifyHostEngineForFolder(settings, folder.c_str())
                      : NotifyHostEngine(settings);
  }
  ~EngineLease() {
    if (pair_.hostWord == 0 && pair_.entry == nullptr) return;
    if (byFolder_) {
      NotifyHostEngineForFolderEnd(settings_, &pair_);
    } else {
      NotifyHostEngineEnd(settings_, &pair_);
    }
  }
  EngineLease(const EngineLease&) = delete;
  EngineLease& operator=(const EngineLease&) = delete;

  [[nodiscard]] bool Held() const { return pair_.hostWord != 0 && pair_.entry != nullptr; }
  [[nodiscard]] const ENGINE_DISPATCH* Pair() const { return &pair_; }

 private:
  const UPDATER_SETTINGS* settings_;
  bool byFolder_;
  ENGINE_DISPATCH pair_{};
};

bool IsUpToDate(const _INSTALLED_COMPONENT_INFO& record) {
  return (record.flags & kInstalledUpToDate) != 0;
}

bool IsPendingEngineModule(const _INSTALLED_COMPONENT_INFO& record) {
  return record.type == kEngineModuleType && !IsUpToDate(record);
}

bool IsLoaderOfThisBuild(const _INSTALLED_COMPONENT_INFO& record) {
  return AsciiStrICmp(record.name, kLoaderModule) == 0 && record.platform == GetPlatformIdOfBuild();
}

void MarkInstalled(_INSTALLED_COMPONENT_INFO& record) {
  record.flags |= kInstalledUpToDate | kInstalledInThisRun;
}

// In staged mode a module counts as installed only once committed.
void ClearMarksOfThisRun(CInstalledList& installed_list) {
  for (_INSTALLED_COMPONENT_INFO& record : installed_list) {
    if ((record.flags & kInstalledInThisRun) != 0) {
      record.flags &= ~(kInstalledUpToDate | kInstalledInThisRun);
    }
  }
}

uint64_t CountNotUpToDate(const CInstalledList& installed_list) {
  uint64_t count = 0;
  for (const _INSTALLED_COMPONENT_INFO& record : installed_list) {
    if (!IsUpToDate(record)) ++count;
  }
  return count;
}

// One module: from its continuous package when one was chosen for it, else
// from its chain in the update list.
UPD_ERROR InstallModule(const InstallRun& run, const _INSTALLED_COMPONENT_INFO& record,
                        const CUpdateList& update_list, const CContinuousList& continuous_list) {
  if ((record.flags & kInstalledPackageChosen) == 0) {
    return InstallNupPackage(run, update_list, record.name, record.platform);
  }
  if (record.chosen >= continuous_list.GetSize()) return kUpdNoInstalledModule;
  const bool base_is_container = (record.flags & kInstalledBaseIsModuleFile) == 0;
  return InstallNupPackageEx(run, continuous_list[record.chosen], base_is_container, nullptr);
}

// Commits the staged set, or rolls it back and clears the marks of this run.
UPD_ERROR Commit(const InstallRun& run, CInstalledList& installed_list) {
  const InstallTarget& target = *run.target;
  ModuleInstallState& state = *run.state;
  const UpdError rc = state.CommitAll();
  if (rc != kUpdOk) {
    // A module that could not be restored is the failure that matters now.
    const UpdError rollback = state.RollbackAll();
    ClearMarksOfThisRun(installed_list);
    return rollback != kUpdOk ? rollback : rc;
  }
  state.UpdateBaseBuilds(target.baseNupList);
  const UPDATER_SETTINGS* settings = target.host.settings;
  if (settings != nullptr && settings->skipInstalledScan != 0 && target.backupStore != nullptr) {
    state.DropNewerSnapshots(*target.backupStore);
    (void)CleanupModulesForGroup(*target.backupStore, settings, run.engine, target.baseNupList);
  }
  return kUpdOk;
}

}  // namespace

UpdError CModuleInstaller::InstallPackages(const InstallTarget& target, CUpdateList& update_list,
                                           CContinuousList& continuous_list, bool skip_signature,
                                           CInstalledList& installed_list, uint32_t* engine_result,
                                           InstallMode mode) {
  if (engine_result != nullptr) *engine_result = 0;
  const UPDATER_SETTINGS* settings = target.host.settings;
  // Destroyed in reverse order: the engine is given back before the state
  // deletes what is left of the staged and old files, then the folder goes,
  // and only then the lock that keeps other runs' clean-ups off them.
  const InstallLock lock(&target.host);
  CTempDir temp(target.host.modulesFolder);
  ModuleInstallState state(target.host.modulesFolder);
  InstallRun run{&target, &state, nullptr, temp.Path(), skip_signature, mode, engine_result};

  // The engine comes from the folder of the new "loader64", so that one is
  // placed first, when no engine is held.
  bool loader_installed = false;
  for (_INSTALLED_COMPONENT_INFO& record : installed_list) {
    if (!IsPendingEngineModule(record) || !IsLoaderOfThisBuild(record)) continue;
    const UpdError rc = InstallNupPackage(run, update_list, record.name, record.platform);
    if (rc != kUpdOk) return rc;
    MarkInstalled(record);
    loader_installed = true;
  }
  const uint64_t count = CountNotUpToDate(installed_list);
  EngineLease engine(settings, state.EngineFolder());
  if (!engine.Held()) return kUpdEngineUnavailable;
  run.engine = engine.Pair();
  if (count == 0 && !loader_installed) {
    BuildBaseNonNups(run);
    return kUpdNothingNew;
  }

  NotifyHostStatus(0, settings, kInstallEventKind, count);
  UPD_ERROR result = kUpdOk;
  uint64_t done = 0;
  for (_INSTALLED_COMPONENT_INFO& record : installed_list) {
    if (!IsPendingEngineModule(record)) continue;
    result = InstallModule(run, record, update_list, continuous_list);
    if (result != kUpdOk) break;
    MarkInstalled(record);
    ++done;
    NotifyHostFile(0, settings, kInstallEventKind, 1, "");
  }

  if (mode == InstallMode::kStaged && (done > 0 || loader_installed)) {
    if (!state.AllPendingInstalled(update_list, continuous_list)) {
      ClearMarksOfThisRun(installed_list);
      return static_cast<UpdError>(result != kUpdOk ? result : kUpdNotAllInstalled);
    }
    if (target.cancellation.IsCancelled()) {
      ClearMarksOfThisRun(installed_list);
      return static_cast<UpdError>(result != kUpdOk ? result : kUpdInstallAborted);
    }
    result = Commit(run, installed_list);
  }
  BuildBaseNonNups(run);
  return static_cast<UpdError>(result);
}
