#pragma once

#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/install/install_staging.h"
#include "updater/engine/install/install_target.h"
#include "updater/engine/lists/update_lists.h"

// The context's installer of engine modules: turns the packages that the
// download step left in the update folder into module files.
class CModuleInstaller {
 public:
  // Installs, for every installed record of installed_list not yet up to
  // date (0x2), the module its packages make: "loader64" first and without
  // an engine, then the others with the engine the host hands out (for the
  // folder of a "loader64" placed in this run, else the usual one), from
  // update_list or, for a record with a continuous package (0x4), from that
  // entry of continuous_list. In staged mode the new set is committed only
  // when every pending module was prepared, and rolled back when the commit
  // fails. Installed records get 0x2 and 0x8 (cleared again by a rollback);
  // the events 2 (count) and 3 (one per module) report progress.
  // engine_result receives the engine's raw result of the last patch step
  // (0 when none ran). kUpdNothingNew when there was nothing to install. After a
  // commit while the host skips the installed-module scan, the backup store
  // drops the snapshots of newer modules and brings back the modules parked
  // for the update group. The whole installation holds the modules folder's
  // installation lock; when no other installation into the folder is alive,
  // taking it first removes what dead ones left (install_lock.h).
  [[nodiscard]] UpdError InstallPackages(const InstallTarget& target, CUpdateList& update_list,
                                         CContinuousList& continuous_list, bool skip_signature,
                                         CInstalledList& installed_list, uint32_t* engine_result,
                                         InstallMode mode);
};
