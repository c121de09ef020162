#pragma once

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/common/component_info.h"
#include "updater/engine/install/install_run.h"

// Applies the one patch package of entry (a continuous or reverse channel
// package) to its base, named by the entry's local path: the payload of that
// package when base_is_container, else that file itself. The result is placed
// as the module file the header names; or, in direct mode with a store path,
// moved to store_path (with the engine's ".raw" file beside it, when there is
// one). The patch and base copies are deleted whatever the outcome.
[[nodiscard]] UpdError InstallNupPackageEx(const InstallRun& run, const _COMPONENT_INFO& entry,
                                           bool base_is_container, const char* store_path);

// Rebuilds, into the update folder's "base_nonnups" folder, the module that
// each pending reverse-channel entry makes of the installed module it is
// based on, so that a later run can go back to it. Entries that fail are
// passed over.
void BuildBaseNonNups(const InstallRun& run);
