#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/lists/update_lists.h"

// The installed engine modules that a catalogue offers to this client.

// For each plain section of the catalogue, in file order:
// an "engine" section (any case) of a known platform among platform_ids,
// offered to one of groups, with a module name ("type"), that installed
// does not hold yet for that platform, is appended to installed as an
// engine module at the build of its first installed module file in base
// (0 when there is none). Returns the size of installed.
int64_t AddOfferedEngineModules(CInstalledList& installed, const Catalogue& catalogue,
                                const CGroupList& groups, const CBaseNupList& base,
                                std::span<const uint32_t> platform_ids);

// The same for this build's platform.
int64_t LoadUpdateVerList(CInstalledList& installed, const Catalogue& catalogue,
                          const CGroupList& groups, const CBaseNupList& base);
