#pragma once

#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/install/install_run.h"
#include "updater/engine/lists/component_list.h"

// The longest chain: a full package (level 0) and patches of levels 1 to 9.
inline constexpr int32_t kMaxChainLevel = 9;

// Installs one module from list: its pending full package (level 0), then,
// level by level, each pending patch that applies to the build reached so
// far, applied by the engine; the result is placed as the module file that
// the headers name. A patch whose "base" is not the build reached ends the
// chain before it. Every temporary file of the chain is deleted.
[[nodiscard]] UpdError InstallNupPackage(const InstallRun& run, const CListBase& list,
                                         const char* module, uint32_t platform);
