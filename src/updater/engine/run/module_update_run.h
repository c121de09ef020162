#pragma once

#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/common/result_flags.h"
#include "updater/engine/run/update_run.h"

// The module update run: one call brings the modules of a context up to
// date, from the catalogue through the lists, the package download and the
// installation to the pico maintenance, the result flags and the stored
// times.

// The run after the export's entry: the context is locked, the stop flag was
// tested, the abort flag cleared, the settings bound and the stored times
// loaded. Writes the result flags to result_flags (may be null) once the run
// got past the blocked check.
[[nodiscard]] UpdError PerformModuleUpdate(UpdateRun& run, EngineServices& services,
                                           RunPhases& phases, uint32_t* result_flags);
