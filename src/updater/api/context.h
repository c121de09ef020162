#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/os/os_abort.h"
#include "platform/os/os_mutex.h"
#include "platform/util/host_binding.h"
#include "updater.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/catalogue/server_selection.h"
#include "updater/engine/install/module_installer.h"
#include "updater/engine/install/pcu_installer.h"
#include "updater/engine/lists/installed_modules.h"
#include "updater/engine/lists/update_lists.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/session/download_session.h"
#include "updater/pico/pico_manager.h"

// The library context behind the host's opaque UPDATER_CONTEXT handle, one
// per update folder. The platform helpers see only its HostBinding part (the
// settings of the call in progress, the update and modules folders).
//
// Fields read without the context lock (the phase by the busy test, the
// flags and times by the control and time exports on other threads) are
// atomics; everything else is used under the lock.
struct UPDATER_CONTEXT : HostBinding {
  OS_MUTEX* lock = nullptr;
  // UPD_PHASE_*; restored by every working export before it returns.
  std::atomic<uint32_t> phase{UPD_PHASE_IDLE};
  // Result of the last catalogue step.
  uint32_t lastResult = 0;
  // Per-run records, emptied at the end of every run.
  CUpdateLists lists;
  CServerSelectionState serverState;
  std::unique_ptr<CDownloadSession> session;
  CInstalledModules installed;
  std::unique_ptr<CModuleInstaller> moduleInstaller;
  std::unique_ptr<CMirror> mirror;
  // Snapshots of the modules under the data folder's "backup".
  std::unique_ptr<CBackupStore> backupStore;
  std::unique_ptr<PcuManager> pcuManager;
  // Only when the host named a pico folder.
  std::unique_ptr<CPicoManager> picoManager;

  char updVerPath[UPD_PATH_SIZE] = {};
  char updDllVerPath[UPD_PATH_SIZE] = {};
  char updDylibVerPath[UPD_PATH_SIZE] = {};
  char lastUpdVerPath[UPD_PATH_SIZE] = {};
  char lastUpdDllVerPath[UPD_PATH_SIZE] = {};
  char lastUpdDylibVerPath[UPD_PATH_SIZE] = {};
  char modVerPath[UPD_PATH_SIZE] = {};
  // The server folder of the catalogue in use, and the same URL ending in
  // '/', from which package URLs are made; both written by the catalogue step.
  char catalogueBaseUrl[UPD_PATH_SIZE] = {};
  char serverRoot[UPD_PATH_SIZE] = {};
  // Ends in '/'; the modules folder unless the host names another.
  char engineFolder[UPD_PATH_SIZE] = {};
  // The catalogue of the run and its last copy; a caller may switch them to
  // the "dll" or "dylib" pair.
  char* currentVerPath = nullptr;
  char* currentLastVerPath = nullptr;

  // Seconds since 1970; -1 when the settings store has none, 0 before the
  // first load.
  std::atomic<int64_t> lastAttemptTime{0};
  std::atomic<int64_t> lastUpdateTime{0};
  uint32_t resultFlags = 0;
  // Raised by UpdAbortUpdate from any thread. The working call in progress
  // polls runCancel, taken from it as the call entered (see ContextCall);
  // outside calls runCancel is the token taken when the context was made.
  CancelSource abort;
  CancelToken runCancel;
  // Set by UpdStopUpdates until UpdResetUpdate: working exports answer kUpdStopped.
  std::atomic<uint8_t> stopFlag{0};

  char appVersion[32] = {};
  // Host texts and word of the initialisation, kept and not read further.
  char hostString32[32] = {};
  char hostString64[64] = {};
  char hostString256[256] = {};
  uint32_t hostWord = 0;
};
