#pragma once

#include "updater.h"
#include "updater/engine/lists/component_list.h"

// Reads the installed module file named by record's localFile through the
// host's engine (open, type and name, version and build, close; the close
// follows every successful open) and appends the record to list as an
// engine module: module name (with "64" added on a 64-bit platform unless it
// ends so), version, build, platform, engine type, category 3, level 0,
// plain list, flag kComponentModuleFile. False, nothing appended, when the engine cannot
// open the file or gives no name or version.
[[nodiscard]] bool ReadModuleInfoFromEngine(CListBase& list, const ENGINE_DISPATCH* engine,
                                            _COMPONENT_INFO* record);
