#include "updater/engine/run/module_update_run.h"

#include "platform/os/os_time.h"
#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/host_bridge.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/catalogue/probability_gate.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/common/update_run_count.h"
#include "updater/engine/install/module_installer.h"
#include "updater/engine/lists/catalogue_merge.h"
#include "updater/engine/lists/list_builder.h"
#include "updater/engine/lists/list_reconcile.h"
#include "updater/engine/lists/scanner_check.h"
#include "updater/engine/package/local_packages.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/run/run_cleanup.h"
#include "updater/engine/servers/configured_server.h"
#include "updater/engine/session/download_session.h"
#include "updater/pico/pico_manager.h"

namespace {

// Settings flag: the catalogue's probability gate decides whether a run
// updates at all.
constexpr uint32_t kSettingsProbabilityGate = 0x20;
// The catalogue step uses and refreshes the stored default servers.
constexpr bool kCatalogueMode = true;
constexpr uint32_t kCatalogueAttempts = 3;

// Install results after which the catalogue is kept as "mod.ver": success,
// nothing to install, and those where the host goes on with the work
// itself or nothing was due.
constexpr UpdError kKeepCatalogueResults[] = {
    kUpdOk,          kUpdNothingNew, kUpdHostInstalling, kUpdInstallDeferred,
    kUpdNothingToDo, kUpdBlockMoved};

bool KeepsCatalogue(UpdError install_result) {
  for (const UpdError keep : kKeepCatalogueResults) {
    if (install_result == keep) return true;
  }
  return false;
}

// Snapshots while backups are on, else no snapshot is kept. The snapshot
// is the one the host's export takes, refused as there without an event
// callback. Results are not the run's concern.
void ApplyBackupPolicy(const UpdateRun& run, CBackupStore& store,
                       const UPDATER_SETTINGS& settings) {
  if (settings.backupEnabled == 0) {
    static_cast<void>(store.PruneSnapshots(true));
    return;
  }
  if (store.IsSnapshotDue(settings.backupDaysBetween)) {
    if (settings.eventCallback != nullptr) {
      static_cast<void>(store.SnapshotInstalledModules(&settings, run.host.modulesFolder));
    }
  } else {
    static_cast<void>(store.RemoveOldest(settings.backupSnapshotsToKeep));
  }
}

// After an installation: the catalogue it worked from becomes "mod.ver" and
// the pico folders follow it.
void FinishInstallation(const UpdateRun& run, CPicoManager* pico, const UPDATER_SETTINGS& settings,
                        UpdError install_result) {
  const CataloguePaths& catalogues = run.catalogues;
  const bool keep_catalogue = KeepsCatalogue(install_result);
  if (keep_catalogue) {
    static_cast<void>(CopyFileCreatingFolder(catalogues.current, catalogues.modVer, true, false));
  }
  if (pico == nullptr) return;
  if (run.serverState.Obtained()) {
    static_cast<void>(
        pico->ScanUpdateVer(catalogues.modVer, &settings, run.installed.installedList));
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
  if (keep_catalogue && run.serverState.newCatalogue != 0 &&
      !IsScannerAheadOfCatalogue(run.catalogue, run.installed.baseNupList)) {
    static_cast<void>(pico->PurgeExpired(&settings));
  }
}

UpdError Install(UpdateRun& run, EngineServices& services, const UPDATER_SETTINGS& settings) {
  uint32_t engine_result = 0;
  const UpdError result = UpdErrorOf(services.installer.InstallPackages(
      InstallTargetOf(run, &services.backupStore), run.lists.updateList, run.lists.continuousList,
      false, run.installed.installedList, &engine_result, InstallMode::kStaged));
  if (result == kUpdOk) {
    if ((run.installed.flags & CInstalledModules::kEngineModuleReplaced) != 0) {
      run.resultFlags |= kRunEngineModuleReplaced;
      static_cast<void>(CleanContinuousFolder(&run.host));
    }
  } else if (engine_result != 0) {
    NotifyHostInstallResult(&settings, engine_result);
  }
  return result;
}

// From the catalogue to the installed modules; the result of the run.
UpdError UpdateModules(UpdateRun& run, EngineServices& services, RunPhases& phases,
                       const UPDATER_SETTINGS& settings) {
  services.session.Reset();
  CatalogueRun catalogue = CatalogueRunOf(run, services.session);
  Result<Catalogue> fetched =
      DownloadCatalogue(catalogue, CatalogueKind::kCurrent, kCatalogueMode, kCatalogueAttempts);
  if (!fetched) return fetched.code();
  run.catalogue = std::move(fetched).value();
  if (run.cancellation.IsCancelled()) return kUpdStopped;
  if ((settings.flags & kSettingsProbabilityGate) != 0 &&
      !UpdateProbabilityGate(run.catalogue, KnownTime(run.times.lastAttempt.load()))) {
    return kUpdOk;
  }
  UpdError result =
      PrepareUpdateLists(ListBuildOf(run), ScanNupFolders, [&](CUpdateLists& lists) {
        return MergeComponentVerFiles(catalogue, lists, run.catalogue);
      });
  if (result != kUpdOk) return result;
  ReconcileReverseList(run.installed, run.lists.updateList, run.lists.reverseList,
                       run.lists.localList);

  phases.SetPhase(UPD_PHASE_DOWNLOADING);
  result = UpdErrorOf(DownloadPackages(PackageDownloadOf(run, services.session)));
  if (result != kUpdOk) return result;

  phases.SetPhase(UPD_PHASE_INSTALLING);
  const UpdError install_result = Install(run, services, settings);
  phases.SetPhase(UPD_PHASE_FINISHING);
  FinishInstallation(run, services.pico, settings, install_result);
  return install_result;
}

// The catalogue flags become result flags, and a run that reached a server
// stores its times.
void RecordCatalogueOutcome(UpdateRun& run, const UPDATER_SETTINGS& settings) {
  const CServerSelectionState& state = run.serverState;
  if (!state.Obtained()) return;
  CountUpdateRun();
  if (state.keptCatalogue != 0) run.resultFlags |= kRunCatalogueObtained;
  if (state.newCatalogue != 0) run.resultFlags |= kRunCatalogueObtained | kRunNewCatalogue;
  const SettingsStorePtr store = OpenSettingsStore(&settings);
  if (store == nullptr) return;
  const int64_t now = OsTime();
  run.times.lastAttempt.store(now);
  // The store keeps 32-bit times.
  SettingsStoreSetDword(store.get(), kKeyLastUpdateAttempt, static_cast<uint32_t>(now));
  if ((run.resultFlags & kRunEngineModuleReplaced) != 0) {
    run.times.lastUpdate.store(now);
    SettingsStoreSetDword(store.get(), kKeyLastUpdate, static_cast<uint32_t>(now));
  }
}

UpdError CredentialsResult(const UPDATER_SETTINGS& settings) {
  if (IsMirrorUpdateUrl(&settings)) return kUpdMirrorAccessDenied;
  if (settings.serverUserName[0] == '\0') return kUpdNoUserName;
  return kUpdAccessDenied;
}

}  // namespace

UpdError PerformModuleUpdate(UpdateRun& run, EngineServices& services, RunPhases& phases,
                             uint32_t* result_flags) {
  const UPDATER_SETTINGS& settings = *run.host.settings;
  ProfileCacheClear();
  if (services.backupStore.IsUpdateBlocked()) return kUpdUpdatesBlocked;
  if (services.pico != nullptr) static_cast<void>(services.pico->RecoverRollbacks());
  ApplyBackupPolicy(run, services.backupStore, settings);

  const RunCleanup cleanup(run, services);
  phases.SetPhase(UPD_PHASE_CHECKING);
  const UpdError result = UpdateModules(run, services, phases, settings);
  RecordCatalogueOutcome(run, settings);
  if (result_flags != nullptr) *result_flags = run.resultFlags;
  return result == kUpdAccessDenied ? CredentialsResult(settings) : result;
}
