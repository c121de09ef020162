#pragma once

#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/install/install_run.h"

// Flag of an engine patch step whose output is the base of another step.
inline constexpr uint32_t kPatchIntermediate = 0x10;

// One engine patch step: the engine applies patch to base (null when the
// patch needs none) and writes output. The engine's raw result goes to the
// run's engine result. kUpdInstallAborted when the step succeeded but the run was aborted
// meanwhile; otherwise the engine's result as an UPD_ERROR (kUpdNoContext without an
// engine).
[[nodiscard]] UpdError ApplyDeltaPackage(const InstallRun& run, const char* base, const char* patch,
                                         const char* output, bool last_step);
