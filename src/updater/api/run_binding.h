#pragma once

#include "updater.h"
#include "updater/engine/common/catalogue_paths.h"
#include "updater/engine/run/update_run.h"

// The records of a working call, made from the library context that holds
// what they refer to; valid while the context is.

[[nodiscard]] CataloguePaths CataloguePathsOf(const UPDATER_CONTEXT& context);
[[nodiscard]] UpdateRun BindRun(UPDATER_CONTEXT& context);
// The pico manager is null when the host named no pico folder.
[[nodiscard]] EngineServices BindServices(UPDATER_CONTEXT& context);
