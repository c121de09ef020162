#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/os/os_mutex.h"
#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/common/run_cancellation.h"
#include "updater/engine/lists/update_lists.h"

class CDownloadSession;

// Pico updates: small numbered data files ("<n>.pic") of the engine
// modules, fetched one after another until the server has no next number.
// Files of pico id N live in the root's folder "N/"; a file on its way in
// is "<n>_new.pic" beside them.

// One pico the catalogue announces for an installed engine module.
struct PICO_ENTRY {
  uint32_t id = 0;
  // The lowest file number that is wanted.
  uint32_t first = 0;
  uint32_t interval = 0;
  // The module's name as the installed list holds it (ending in "64").
  std::string module;
  // The server-relative folder of the pico's files.
  std::string source;
};

// What a pico update works with: the call's settings and the update folder,
// the download session, the server root of the catalogue in use (empty
// before any catalogue step: the configured server is used then), the
// catalogue the files' URLs may name a section of, and the cancellation.
struct PicoRun {
  const HostBinding& host;
  CDownloadSession& session;
  const char* serverRoot;
  const char* catalogue;
  RunCancellation cancellation;
};

// A folder unannounced for longer than this is deleted by PurgeExpired.
inline constexpr int64_t kPicoExpirySeconds = 604800;
// One PerformUpdate fetches at most this many files: a server that answers
// every number would otherwise keep the call (and the context lock) forever.
inline constexpr uint32_t kMaxPicoFilesPerUpdate = 4096;

class CPicoManager {
 public:
  // Throws std::bad_alloc when the lock cannot be made, so that the context
  // is not created without it.
  explicit CPicoManager(const char* root);
  ~CPicoManager();
  CPicoManager(const CPicoManager&) = delete;
  CPicoManager& operator=(const CPicoManager&) = delete;

  // Rebuilds the map from the catalogue's plain "pico" sections whose
  // module installed holds; the first section of an id wins. With settings,
  // "PicoLastAppeared_<id>" of every pico taken becomes now. Returns the
  // number of picos.
  uint32_t ScanUpdateVer(const char* catalogue_path, const UPDATER_SETTINGS* settings,
                         const CInstalledList& installed);

  // Appends {12, id, interval} per pico in ascending id order; before the
  // first run (run_count 0) an empty map is built from the catalogue of the
  // last installation (mod_ver_path) first. kUpdOutOfMemory when the array cannot
  // grow (what was appended stays).
  [[nodiscard]] UpdError GetPicoUpdates(const UPDATER_SETTINGS* settings, const char* mod_ver_path,
                                        uint32_t run_count, HOST_ARRAY* result);

  // Fetches the missing and the new files of one pico, at most
  // kMaxPicoFilesPerUpdate of them: 0 when a file arrived, kUpdNothingNew when the
  // server had nothing new, kUpdInvalidRequest for a pico the map lacks, else the code
  // of the first failure (the files that arrived stay).
  [[nodiscard]] UpdError PerformUpdate(const PicoRun& run, uint32_t id);

  // Deletes every entry of the root that is not the folder of a pico
  // announced within kPicoExpirySeconds: 0, kUpdSettingsUnreadable or kUpdWriteFailed.
  [[nodiscard]] UpdError PurgeExpired(const UPDATER_SETTINGS* settings);
  // The same at a given time.
  [[nodiscard]] UpdError PurgeExpiredAt(const UPDATER_SETTINGS* settings, int64_t now);
  // Deletes everything in the root: 0 or kUpdWriteFailed.
  [[nodiscard]] UpdError ClearFolder();
  // Deletes the "*.pic" files of known picos that are not numbered or lie
  // below the pico's first number.
  UpdError PurgeStaleFiles();
  // Gives folders moved aside by a rollback their names back: 0 or kUpdMoveFailed.
  [[nodiscard]] UpdError RecoverRollbacks();
  // Moves every pico folder aside to "<id>_rollback_XXXXXXXX": 0 or kUpdMoveFailed.
  [[nodiscard]] UpdError MoveAllToRollback();

  // The engine's id and sequence number of the file (engine call 3042) must
  // be id and n: 0, kUpdBadFile, or the mapped engine error.
  [[nodiscard]] static UpdError ValidatePicoFile(const ENGINE_DISPATCH* engine, const char* path,
                                                 uint32_t id, uint32_t n);

  const std::string& root() const { return root_; }
  // The folder of a pico's files, ending in '/'.
  std::string PicoFolder(uint32_t id) const;

 private:
  // Holds the manager lock for a scope (after the context lock, before the
  // profile-cache lock).
  class Lock {
   public:
    explicit Lock(OS_MUTEX* mutex) : mutex_(mutex) { OsMutexLock(mutex_); }
    ~Lock() { OsMutexUnlock(mutex_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    OS_MUTEX* mutex_;
  };

  std::optional<PICO_ENTRY> FindEntry(uint32_t id);
  // Numbers of the valid local files; every other "*.pic" file goes.
  // kUpdEngineUnavailable without an engine, kUpdInstallAborted when aborted.
  [[nodiscard]] UpdError ListLocalFiles(const PicoRun& run, const PICO_ENTRY& entry,
                                        std::set<uint32_t>* numbers);
  void BuildFromModVer(const char* mod_ver_path, const UPDATER_SETTINGS* settings);

  std::string root_;
  OS_MUTEX* lock_ = nullptr;
  std::map<uint32_t, PICO_ENTRY> entries_;
};
