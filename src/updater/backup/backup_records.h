#pragma once

#include <cstdint>
#include <string>

#include "updater/engine/common/carray.h"
#include "updater/engine/common/component_info.h"

// Longest texts the snapshot database hands out, NUL included: longer TYPE,
// FILE and ORIG values are cut on reading.
inline constexpr size_t kBackupTypeSize = 64;
inline constexpr size_t kBackupPathSize = 4096;

// One module of a snapshot: what the engine said of it and where its copy and
// the installed file live.
struct UPDATER_BACKUP_MODULE_INFO {
  uint32_t id = 0;  // engine module id (the engine's module type)
  uint32_t platform = 0;
  uint64_t build = 0;
  char type[kBackupTypeSize] = {};  // module name
  std::string file;                 // name of the copy inside the backup folder
  std::string orig;                 // installed file, relative to the modules folder
};

// The same module build: id, build and platform equal, names equal ignoring
// the case of A to Z. Such modules share one copy.
[[nodiscard]] bool IsSameModule(const UPDATER_BACKUP_MODULE_INFO& a,
                                const UPDATER_BACKUP_MODULE_INFO& b);

// The record of an installed module file as a snapshot keeps it: the path
// relative to modules_folder (the first strlen(modules_folder) bytes go).
[[nodiscard]] UPDATER_BACKUP_MODULE_INFO BackupModuleOf(const _COMPONENT_INFO& component,
                                                        const char* modules_folder);

// A copy name from the database names a file directly inside the backup
// folder, and an installed path stays inside the modules folder; anything else
// (an edited or damaged database) is not a module the store touches.
[[nodiscard]] bool IsSafeCopyName(const std::string& file);
[[nodiscard]] bool IsSafeModulePath(const std::string& orig);

// One snapshot: its time and its modules in the order they were taken.
class CBackupState {
 public:
  CBackupState() = default;
  explicit CBackupState(uint32_t timestamp) : timestamp_(timestamp) {}
  CBackupState(const CBackupState& other);
  CBackupState& operator=(const CBackupState& other);
  CBackupState(CBackupState&&) noexcept = default;
  CBackupState& operator=(CBackupState&&) noexcept = default;
  ~CBackupState() = default;

  [[nodiscard]] uint32_t GetTimestamp() const { return timestamp_; }
  [[nodiscard]] const CArray<UPDATER_BACKUP_MODULE_INFO>& GetModules() const { return modules_; }
  [[nodiscard]] CArray<UPDATER_BACKUP_MODULE_INFO>& GetModules() { return modules_; }

 private:
  uint32_t timestamp_ = 0;
  CArray<UPDATER_BACKUP_MODULE_INFO> modules_;
};

using CBackupStateArray = CArray<CBackupState>;
