#pragma once

#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// What an installation that died (its process killed) leaves in the modules
// folder: its temporary folder "temp%08X", staged modules in "Modules", and
// ".old" copies of modules it was replacing. Only the installation lock
// (install_lock.h), held exclusively, tells that no installation that could
// still use them is alive.

// Gives every module whose target is missing its ".old" copy back (no module
// is lost), then deletes the other ".old" files, the temporary folders and,
// as CleanModulesFolder does, "Modules" with every "em*.dat.old" file. 0, or
// kUpdDeleteFailed when anything could not be deleted or put back (also when there was
// no "Modules" folder, as CleanModulesFolder reports it); everything is
// attempted.
[[nodiscard]] UpdError RemoveDeadInstallLeftovers(const HostBinding* context);
