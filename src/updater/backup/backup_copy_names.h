#pragma once

#include <string>
#include <vector>

#include "updater/backup/backup_records.h"

// Name of a module's copy: "em%03d_%s-%ld.dat" with the id less one, "64" or
// "32" for the platform's width, and the build.
[[nodiscard]] std::string BackupCopyName(const UPDATER_BACKUP_MODULE_INFO& module);

// The copy that holds a module's bytes in a snapshot being taken.
struct BackupCopyChoice {
  std::string file;
  bool shared = false;  // an existing copy; otherwise one to make under file
};

// Chooses the copy for module among the records of the stored snapshots and
// of the snapshot being taken (held). A copy of the same module build is
// shared, unless another module also names it (a database written before
// names were kept apart): no copy ever serves two modules. A new copy takes
// the module's own name when no record uses it, else the first of
// "em%03d_%s-%ld_N.dat" (N = 1, 2, ...) that none uses.
[[nodiscard]] BackupCopyChoice ChooseBackupCopy(
    const UPDATER_BACKUP_MODULE_INFO& module, const std::vector<UPDATER_BACKUP_MODULE_INFO>& held);
