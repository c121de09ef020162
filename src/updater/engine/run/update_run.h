#pragma once

#include <atomic>
#include <cstdint>

#include "platform/util/host_binding.h"
#include "updater.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/catalogue/catalogue_run.h"
#include "updater/engine/catalogue/server_selection.h"
#include "updater/engine/common/catalogue_paths.h"
#include "updater/engine/common/run_cancellation.h"
#include "updater/engine/common/server_location.h"
#include "updater/engine/install/install_target.h"
#include "updater/engine/lists/installed_modules.h"
#include "updater/engine/lists/list_builder.h"
#include "updater/engine/lists/update_lists.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/package/package_download.h"

class CBackupStore;
class CDownloadSession;
class CModuleInstaller;
class CPicoManager;
class PcuManager;

// The record of one working call, made by the export at its entry from the
// library context and dropped when the call returns. It refers to what the
// context keeps for the call: the steps below take only the parts they use
// (the records the *Of functions below make).

// The stored times of the last attempt and of the last update (seconds since
// 1970; -1 when the settings store has none, 0 before the first load), which
// other threads read while a run writes them.
struct RunTimes {
  std::atomic<int64_t>& lastAttempt;
  std::atomic<int64_t>& lastUpdate;
};

struct UpdateRun {
  // The settings of the call, the update and modules folders.
  const HostBinding& host;
  CUpdateLists& lists;
  CServerSelectionState& serverState;
  CInstalledModules& installed;
  CataloguePaths catalogues;
  ServerLocation server;
  // The caller's result flags (result_flags.h).
  uint32_t& resultFlags;
  // The result of the last catalogue step.
  UPD_ERROR& lastResult;
  RunTimes times;
  RunCancellation cancellation;
  // The run's catalogue as the catalogue step took it (empty before), which
  // the list steps read; the files on disk are for the host and later runs.
  Catalogue catalogue;
};

// The context's services that the steps of a run call.
struct EngineServices {
  CDownloadSession& session;
  CBackupStore& backupStore;
  // Only when the host named a pico folder.
  CPicoManager* pico;
  CModuleInstaller& installer;
  PcuManager& pcuManager;
  CMirror& mirror;
};

// The phases of a working call as the host hears of them (event 6); the
// export's call keeps them and restores the one before it on its way out.
class RunPhases {
 public:
  virtual void SetPhase(uint32_t phase) = 0;

 protected:
  ~RunPhases() = default;
};

// The parts of a run that the steps below it take.
[[nodiscard]] CatalogueRun CatalogueRunOf(UpdateRun& run, CDownloadSession& session);
[[nodiscard]] ListBuild ListBuildOf(UpdateRun& run);
[[nodiscard]] PackageDownload PackageDownloadOf(UpdateRun& run, CDownloadSession& session);
[[nodiscard]] InstallTarget InstallTargetOf(UpdateRun& run, CBackupStore* store);
[[nodiscard]] MirrorPass MirrorPassOf(UpdateRun& run);
