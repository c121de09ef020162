#include "updater/engine/run/module_update_run.h"

#include "platform/os/os_time.h"
#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/host_bridge.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/catalogue/probability_gate.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/common/update_run_count.h"
#include "updater/engine/lists/catalogue_merge.h"
#include "updater/engine/lists/list_builder.h"
#include "updater/engine/lists/list_reconcile.h"
#include "updater/engine/lists/scanner_check.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/run/run_cleanup.h"
#include "updater/engine/session/download_session.h"
#include "updater/pico/pico_manager.h"

namespace {

// Settings flag: the catalogue's probability gate decides whether a run
// updates at all.
constexpr uint32_t kSettingsProbabilityGate = 0x20;
// The catalogue step uses and refreshes the stored default servers.
constexpr bool kCatalogueMode = true;
constexpr uint32_t kCatalogueAttempts = 3;

// A server asked for credentials: that of a mirror, or one the host gave
// no user name for.
constexpr UPD_ERROR kUpdMirrorAccessDenied = 0x2004;
constexpr UPD_ERROR kUpdNoUserName = 0x2005;

// Install results after which the catalogue is kept as "mod.ver": success,
// nothing to install, and those where the host goes on with the work
// itself or nothing was due.
constexpr UPD_ERROR kKeepCatalogueResults[] = {kUpdOk,          kUpdNothingNew, 0x5008, 0x500A,
                                               kUpdNothingToDo, kUpdBlockMoved};

bool KeepsCatalogue(UPD_ERROR install_result) {
  for (const UPD_ERROR keep : kKeepCatalogueResults) {
    if (install_result == keep) return true;
  }
  return false;
}


// Snapshots while backups are on, else no snapshot is kept. Results are
// not the run's concern.
void ApplyBackupPolicy(UPDATER_CONTEXT& context, const UPDATER_SETTINGS& settings) {
  CBackupStore& store = *context.backupStore;
  if (settings.backupEnabled == 0) {
    static_cast<void>(store.PruneSnapshots(true));
    return;
  }
  if (store.IsSnapshotDue(settings.backupDaysBetween)) {
    static_cast<void>(UpdBackupCreateSnapshot2(&context, &settings));
  } else {
    static_cast<void>(store.RemoveOldest(settings.backupSnapshotsToKeep));
  }
}

// After an installation: the catalogue it worked from becomes "mod.ver" and
// the pico folders follow it.
void FinishInstallation(UPDATER_CONTEXT& context, const UPDATER_SETTINGS& settings,
                        UPD_ERROR install_result) {
  const bool keep_catalogue = KeepsCatalogue(install_result);
  if (keep_catalogue) {
    static_cast<void>(
        CopyFileCreatingFolder(context.currentVerPath, context.modVerPath, true, false));
    ProfileCacheRemoveFile(context.modVerPath);
  }
  CPicoManager* pico = context.picoManager.get();
  if (pico == nullptr) return;
  if (context.serverState.Obtained()) {
    static_cast<void>(
        pico->ScanUpdateVer(context.modVerPath, &settings, context.installed.installedList));
  }
  if (install_result == kUpdOk) {
    if (settings.skipInstalledScan != 0) {
      static_cast<void>(pico->ClearFolder());
    } else {
      static_cast<void>(pico->PurgeStaleFiles());
    }
  }
  // Pico entries are not purged on the word of a catalogue older than the
  // installed scanner.
  if (keep_catalogue && context.serverState.newCatalogue != 0 &&
      !IsScannerAheadOfCatalogue(context.currentVerPath, context.installed.baseNupList)) {
    static_cast<void>(pico->PurgeExpired(&settings));
  }
}

UPD_ERROR Install(UPDATER_CONTEXT& context, const UPDATER_SETTINGS& settings) {
  uint32_t engine_result = 0;
  const UPD_ERROR result = context.moduleInstaller->InstallPackages(
      &context, context.lists.updateList, context.lists.continuousList, false,
      context.installed.installedList, &engine_result, InstallMode::kStaged);
  if (result == kUpdOk) {
    if ((context.installed.flags & CInstalledModules::kEngineModuleReplaced) != 0) {
      context.resultFlags |= kRunEngineModuleReplaced;
      static_cast<void>(CleanContinuousFolder(&context));
    }
  } else if (engine_result != 0) {
    NotifyHostEvent7(&settings, engine_result);
  }
  return result;
}

// From the catalogue to the installed modules; the result of the run.
UPD_ERROR UpdateModules(UPDATER_CONTEXT& context, ContextCall& call,
                        const UPDATER_SETTINGS& settings) {
  context.session->Reset();
  UPD_ERROR result =
      DownloadUpdateVerFile(context.serverState, context, kCatalogueMode, kCatalogueAttempts);
  if (result != kUpdOk) return result;
  if (context.abortFlag.load() != 0) return kUpdStopped;
  if ((settings.flags & kSettingsProbabilityGate) != 0 &&
      !UpdateProbabilityGate(context.currentVerPath, context.lastAttemptTime.load())) {
    return kUpdOk;
  }
  result = PrepareUpdateLists(context.installed, context, MergeComponentVerFiles);
  if (result != kUpdOk) return result;
  ReconcileReverseList(context.installed, context.lists.updateList, context.lists.reverseList,
                       context.lists.localList);

  call.SetPhase(UPD_PHASE_DOWNLOADING);
  result = DownloadPackages(&context);
  if (result != kUpdOk) return result;

  call.SetPhase(UPD_PHASE_INSTALLING);
  const UPD_ERROR install_result = Install(context, settings);
  call.SetPhase(UPD_PHASE_FINISHING);
  FinishInstallation(context, settings, install_result);
  return install_result;
}

// The catalogue flags become result flags, and a run that reached a server
// stores its times.
void RecordCatalogueOutcome(UPDATER_CONTEXT& context, const UPDATER_SETTINGS& settings) {
  const CServerSelectionState& state = context.serverState;
  if (!state.Obtained()) return;
  CountUpdateRun();
  if (state.keptCatalogue != 0) context.resultFlags |= kRunCatalogueObtained;
  if (state.newCatalogue != 0) context.resultFlags |= kRunCatalogueObtained | kRunNewCatalogue;
  const SettingsStorePtr store = OpenSettingsStore(&settings);
  if (store == nullptr) return;
  const int64_t now = OsTime();
  context.lastAttemptTime.store(now);
  // The store keeps 32-bit times.
  SettingsStoreSetDword(store.get(), kKeyLastUpdateAttempt, static_cast<uint32_t>(now));
  if ((context.resultFlags & kRunEngineModuleReplaced) != 0) {
    context.lastUpdateTime.store(now);
    SettingsStoreSetDword(store.get(), kKeyLastUpdate, static_cast<uint32_t>(now));
  }
}

UPD_ERROR CredentialsResult(const UPDATER_SETTINGS& settings) {
  if (UpdIsMirrorUpdateUrl(&settings) != 0) return kUpdMirrorAccessDenied;
  if (settings.serverUserName[0] == '\0') return kUpdNoUserName;
  return kUpdAccessDenied;
}

}  // namespace

UPD_ERROR PerformModuleUpdate(UPDATER_CONTEXT& context, ContextCall& call,
                              uint32_t* result_flags) {
  const UPDATER_SETTINGS& settings = *context.settings;
  if (context.lastUpdateTime.load() == 0 || context.lastAttemptTime.load() == 0) {
    UpdLoadUpdateAttemptTime(&context, &settings);
  }
  ProfileCacheClear();
  if (context.backupStore->IsUpdateBlocked()) return kUpdUpdatesBlocked;
  if (context.picoManager != nullptr) static_cast<void>(context.picoManager->RecoverRollbacks());
  ApplyBackupPolicy(context, settings);

  const RunCleanup cleanup(context);
  call.SetPhase(UPD_PHASE_CHECKING);
  const UPD_ERROR result = UpdateModules(context, call, settings);
  RecordCatalogueOutcome(context, settings);
  if (result_flags != nullptr) *result_flags = context.resultFlags;
  return result == kUpdAccessDenied ? CredentialsResult(settings) : result;
}
