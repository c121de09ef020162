#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/lists/update_lists.h"

class CBackupState;
class CBackupStore;

// How an installation places each module: staged (every new module first
// goes to the "Modules" sub-folder and the whole set is committed at the
// end), or directly over the installed file.
enum class InstallMode : uint32_t {
  kStaged = 0,
  kDirect = 1,
};

// The module name whose folder the engine is loaded from.
inline constexpr char kLoaderModule[] = "loader64";
// Sub-folder of the modules folder that holds the staged modules.
inline constexpr char kStagingFolder[] = "Modules";
inline constexpr char kOldSuffix[] = ".old";
// Module files are readable by every user of the system.
inline constexpr uint32_t kModuleFileMode = 0644;

// One module prepared in staged mode.
struct InstallRecord {
  // state bits: the target was kept at the old path; the new file is at the target.
  static constexpr uint32_t kOldKept = 0x1;
  static constexpr uint32_t kNewInPlace = 0x2;

  uint32_t build = 0;
  uint32_t platform = 0;  // ~0 for a platform name the table lacks
  std::string stagedPath;
  std::string targetPath;
  std::string oldPath;
  std::string fileName;
  std::string moduleName;
  uint32_t state = 0;
};

// The modules one installation has prepared. Destroying it deletes what is
// left at the staged paths and the ".old" files, except the ".old" file of a
// module that a rollback could not restore: that file is then the only copy
// of the module that was installed.
class ModuleInstallState {
 public:
  // modules_folder ends in '/'.
  explicit ModuleInstallState(const char* modules_folder) : modulesFolder_(modules_folder) {}
  ~ModuleInstallState();
  ModuleInstallState(const ModuleInstallState&) = delete;
  ModuleInstallState& operator=(const ModuleInstallState&) = delete;

  // Places the finished file (in the installation's temporary folder) as the
  // module file file_name with mode 0644: staged, recorded for the commit;
  // or directly in the modules folder. Placing "loader64" makes its folder
  // the engine folder.
  [[nodiscard]] UpdError InstallModuleFile(const char* file, const char* file_name,
                                           const char* module_name, uint32_t build,
                                           uint32_t platform, InstallMode mode);

  // Puts every staged module in place in record order, each target first kept
  // at its old path. Stops at the first module that cannot be kept or put in
  // place, with that code; RollbackAll then undoes what was done.
  [[nodiscard]] UpdError CommitAll();
  // Gives every committed target its old file back. The last failure, else 0.
  [[nodiscard]] UpdError RollbackAll();

  // True when every pending full package (0x800, level 0) of update_list
  // and every pending entry of continuous_list has a record of its module
  // and platform at the build its chain reaches.
  [[nodiscard]] bool AllPendingInstalled(const CUpdateList& update_list,
                                         const CContinuousList& continuous_list) const;
  // The installed-module entries (kComponentModuleFile) of base_list take the builds of
  // the records.
  void UpdateBaseBuilds(CListBase& base_list) const;
  // Removes, with their copies, the stored snapshots that hold one of the
  // modules at a build above the one prepared: a rollback to them would
  // install a newer module than the catalogue offers.
  void DropNewerSnapshots(CBackupStore& store) const;

  // The folder of the "loader64" placed in this installation; empty when none was.
  [[nodiscard]] const std::string& EngineFolder() const { return engineFolder_; }
  [[nodiscard]] const std::vector<InstallRecord>& Records() const { return records_; }

 private:
  [[nodiscard]] UpdError InstallModuleStaged(const char* file, InstallRecord record);
  [[nodiscard]] UpdError InstallModuleDirect(const char* file, const std::string& target,
                                             const char* module_name);
  [[nodiscard]] bool HasRecord(const char* module, uint32_t platform, uint64_t build) const;
  [[nodiscard]] bool HoldsNewerModule(const CBackupState& snapshot) const;

  const char* modulesFolder_;
  std::vector<InstallRecord> records_;
  std::string engineFolder_;
  bool committed_ = false;
  bool madeStagingFolder_ = false;
};
