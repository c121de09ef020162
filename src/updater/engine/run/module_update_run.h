#pragma once

#include <cstdint>

#include "updater.h"

class ContextCall;

// The module update run: one call brings the modules of a context up to
// date, from the catalogue through the lists, the package download and the
// installation to the pico maintenance, the result flags and the stored
// times.

// Result flags of a run (the caller's word); the package download sets 0x4.
inline constexpr uint32_t kRunEngineModuleReplaced = 0x1;
inline constexpr uint32_t kRunNewCatalogue = 0x8;
inline constexpr uint32_t kRunCatalogueObtained = 0x200;

// The run after the export's entry: call holds the context lock, the stop
// flag was tested, the abort flag cleared and the settings bound. Writes
// the result flags to result_flags (may be null) once the run got past the
// blocked check.
[[nodiscard]] UPD_ERROR PerformModuleUpdate(UPDATER_CONTEXT& context, ContextCall& call,
                                            uint32_t* result_flags);
