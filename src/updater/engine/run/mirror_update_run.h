#pragma once

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/run/update_run.h"

// The mirror run: the catalogues of the mirror type, the comparison of what
// the servers offer with what the mirror holds, the staging of the packages
// to fetch and the pass that places them and writes the mirror's catalogues.

// The run after the export's entry: the context is locked, the settings are
// checked and bound and the result flags cleared.
[[nodiscard]] UpdError PerformMirrorUpdate(UpdateRun& run, EngineServices& services,
                                           RunPhases& phases, const MIRROR_SETTINGS& mirror);
