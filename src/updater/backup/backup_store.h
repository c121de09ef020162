#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/os_mutex.h"
#include "platform/store/xml_document.h"
#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/backup/backup_records.h"
#include "updater/engine/lists/component_list.h"

// The backup folder of a library context: dated snapshots of the installed
// engine modules, recorded in "db.xml" with one shared copy per module build
// in the folder itself (never one copy for two modules), the backup settings
// "config.xml" (last snapshot time, the time until which a rollback blocks
// updates), and the parked modules of a server group being left.
//
// The database stays loaded for the store's life and is saved after every
// change; copies are deleted only after the database that no longer needs
// them was saved. Every database operation holds the store's recursive lock
// (taken after the context lock). "config.xml" is read anew for each question
// and rewritten whole for each change.
class CBackupStore {
 public:
  // Creates the backup folder, writes a default "config.xml" when there is
  // none that reads, and loads "db.xml"; a database of an older version is
  // emptied with its copies. Throws std::bad_alloc when the lock cannot be made.
  CBackupStore(std::string database_path, std::string backup_folder, std::string modules_folder);
  ~CBackupStore() = default;
  CBackupStore(const CBackupStore&) = delete;
  CBackupStore& operator=(const CBackupStore&) = delete;

  // Updates are blocked while "ReenableUpdateTime" is set and later than now.
  // An unreadable "config.xml" blocks nothing.
  [[nodiscard]] bool IsUpdateBlocked();
  // The same; *until receives the stored time (0 when none is set).
  [[nodiscard]] bool GetBlockedUntil(uint32_t* until);
  // 0, kUpdSettingsUnreadable or kUpdSettingsNotWritten.
  [[nodiscard]] UpdError SetBlockUntil(uint32_t time);
  [[nodiscard]] UpdError ClearBlock();

  // A snapshot is due when "LastBackupTime" is 0xFFFFFFFF, when it lies more
  // than days whole days back, or when none is stored; never with an
  // unreadable "config.xml".
  [[nodiscard]] bool IsSnapshotDue(int64_t days);

  // Takes a snapshot of every installed module file of components
  // (kComponentModuleFile), copying each module build not yet held under a name no other
  // module's copy has (ChooseBackupCopy), then keeps the newest keep
  // snapshots and records the time. A copy or database write that fails
  // records nothing, removes the copies this call made and returns its code
  // (kUpdCopyFailed, kUpdDiskFull, kUpdWriteFailed or kUpdOutOfMemory).
  [[nodiscard]] UpdError CreateSnapshot(const CListBase& components, int64_t keep);

  // A snapshot of the module files of modules_folder as the host's engine
  // reads them (event 28), keeping as many snapshots as the settings say
  // (all bits set keeps every one): the snapshot the host asks for, and the
  // one a run takes while backups are on. kUpdNoInstalledModule when no module is installed,
  // else CreateSnapshot's code.
  [[nodiscard]] UpdError SnapshotInstalledModules(const UPDATER_SETTINGS* settings,
                                                  const char* modules_folder);

  // Removes the snapshots with the smallest timestamps (the earlier one first
  // on a tie) until at most keep remain, with the copies no other snapshot
  // holds. Always 0.
  UpdError RemoveOldest(uint64_t keep);
  // Removes every snapshot; with keep_copies the copies stay in the folder.
  // Always 0.
  UpdError PruneSnapshots(bool keep_copies);
  // Removes the first snapshot of that timestamp: 0, or kUpdNotFound when
  // there is none.
  UpdError RemoveSnapshot(uint32_t timestamp, bool keep_copies);
  void RemoveSnapshotAndFiles(uint32_t timestamp);

  // Appends every stored snapshot in document order. Always 0.
  UpdError LoadSnapshots(CBackupStateArray* snapshots);
  [[nodiscard]] size_t GetSnapshotCount();

  // Puts the modules of the oldest snapshot back, all of them or none: each
  // copy goes to a temporary name beside its target first, then all are
  // renamed in. Only then are the other snapshots removed and, with a
  // non-zero block_until, updates blocked until then. 0, kUpdNoSnapshot, or
  // the code of the copy or rename that failed (nothing changed).
  [[nodiscard]] UpdError RestoreSnapshot(uint32_t block_until);

  // Parks an installed module file in the backup sub-folder of a server
  // group (kept by its path below the modules folder); failures are dropped.
  void SaveComponentFile(const _COMPONENT_INFO& component, const char* group_name);

  [[nodiscard]] const std::string& BackupFolder() const { return backup_folder_; }
  // Ends in '/'.
  [[nodiscard]] const std::string& ModulesFolder() const { return modules_folder_; }
  [[nodiscard]] const std::string& ConfigPath() const { return config_path_; }

 private:
  // A snapshot element with what it holds.
  struct StoredSnapshot {
    _XML_NODE* element;
    CBackupState state;
  };

  class Locked {
   public:
    explicit Locked(OS_MUTEX* lock) : lock_(lock) { OsMutexLock(lock_); }
    ~Locked() { OsMutexUnlock(lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

   private:
    OS_MUTEX* lock_;
  };

  bool OpenDatabase(bool fresh);
  bool SaveDatabase();
  void EmptyOutdatedDatabase();
  [[nodiscard]] std::vector<StoredSnapshot> LoadStored() const;

  // Unlinks the elements, saves the database and then deletes the copies
  // that no remaining snapshot uses (unless keep_copies). False, with the
  // copies kept, when the database could not be saved.
  bool RemoveElements(const std::vector<_XML_NODE*>& elements, bool keep_copies);
  // The modules of every stored snapshot, in document order.
  [[nodiscard]] std::vector<UPDATER_BACKUP_MODULE_INFO> HeldModules() const;
  // Some stored module names this copy as its FILE. Only FILE counts: a
  // database written before copies were kept apart may name one copy for
  // two modules, and an entry's own FILE is the only copy it restores.
  [[nodiscard]] bool IsCopyInUse(const std::string& file) const;
  [[nodiscard]] std::string CopyPath(const std::string& file) const;
  // The time of a new snapshot: now, or one second past the newest stored
  // one when that is not earlier, so that snapshots taken within one second
  // keep the order they were taken in.
  [[nodiscard]] uint32_t NextTimestamp(uint32_t now) const;
  // Copies of the modules of a snapshot being taken (ChooseBackupCopy); the
  // names of the copies made go to new_copies, which the caller removes again
  // on failure.
  [[nodiscard]] UpdError StoreModules(const CListBase& components, CBackupState* state,
                                      std::vector<std::string>* new_copies);
  void DeleteUnusedCopies(const std::vector<std::string>& files);

  struct MutexDeleter {
    void operator()(OS_MUTEX* mutex) const { OsMutexDestroy(mutex); }
  };

  std::unique_ptr<OS_MUTEX, MutexDeleter> lock_;
  XmlDocumentPtr document_;
  _XML_NODE* root_ = nullptr;
  std::string database_path_;
  std::string backup_folder_;
  std::string modules_folder_;
  std::string config_path_;
};

// The store of a context on "backup" and "backup/db.xml" under data_folder;
// null when those paths do not fit a path buffer.
[[nodiscard]] std::unique_ptr<CBackupStore> OpenBackupStore(const char* data_folder,
                                                            const char* modules_folder);

// Brings back the modules parked for the settings store's "UpdateServerGroup"
// ("Release" when unset); see CleanupModules.
[[nodiscard]] UpdError CleanupModulesForGroup(CBackupStore& store, const UPDATER_SETTINGS* settings,
                                              const ENGINE_DISPATCH* engine, CListBase& list);
// For each "em*.dat" parked for group that the engine can read: unless list
// holds an installed module file of the same name and platform at a build not
// lower, moves it into the modules folder and records it in list (the listed
// record takes its build and path, or it is appended). Then the group's folder
// goes. The code of the last move that failed, else 0.
[[nodiscard]] UpdError CleanupModules(CBackupStore& store, const ENGINE_DISPATCH* engine,
                                      const char* group, CListBase& list);
