#pragma once

#include <cstdint>

#include "updater.h"
#include "updater/engine/lists/component_list.h"

// The module files already on this machine, read through the host's engine.
// update_folder is the context's "updfiles" folder.

// Appends, through the host's engine (event 28, released with 29), the
// module files kept in the update folder's "base_nonnups" folder; a file the
// engine cannot read is deleted. Nothing without an engine. Returns the list
// size.
int64_t ScanBaseNonNups(CListBase& list, const UPDATER_SETTINGS* settings,
                        const char* update_folder);

// Appends, through the host's engine, the installed module files "em*.dat"
// of modules_folder; without an engine the list stays as it is.
void ScanInstalledModules(CListBase& list, const UPDATER_SETTINGS* settings,
                          const char* modules_folder);
// The same into an emptied list.
void ScanInstalledModulesEx(CListBase& list, const UPDATER_SETTINGS* settings,
                            const char* modules_folder);
