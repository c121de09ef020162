#pragma once

#include "updater.h"
#include "updater/engine/component_list.h"

// Empties list, then lists the "em*.dat" files of modules_folder that the
// host's engine can read (each an installed module file record, flag 0x4000).
// The engine is asked for with event 28 and handed back with event 29 on
// every way out; without one the list stays empty.
void ListInstalledModules(CListBase& list, const UPDATER_SETTINGS* settings,
                          const char* modules_folder);
