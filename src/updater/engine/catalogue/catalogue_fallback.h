#pragma once

#include <cstdint>

#include "updater.h"
#include "updater/engine/catalogue/catalogue_run.h"

// The catalogue step of a run around single fetches: refresh rounds while a
// catalogue names other default servers, the host's event 25 before leaving
// a configured server, the catalogue's "VER" redirect (a server, or "auto"
// for a weighted draw over its listed servers), and the copy to the last
// catalogue. Every result is also left in the run's lastResult.

[[nodiscard]] UPD_ERROR DownloadUpdateVerWithFallback(CatalogueRun& run, const char* catalog_path,
                                                      const char* last_catalog_path,
                                                      const char* suffix, uint32_t category,
                                                      bool mode, uint32_t attempts);

// The run's catalogue (the current pair of the run's paths, engine category).
[[nodiscard]] UPD_ERROR DownloadUpdateVerFile(CatalogueRun& run, bool mode, uint32_t attempts);
// The mirror's three catalogues: "upd.ver" (engine), "upd_dll.ver" under
// "dll", "upd_dylib.ver" under "dylib".
[[nodiscard]] UPD_ERROR DownloadMirrorUpdateVer(CatalogueRun& run, bool mode, uint32_t attempts);
[[nodiscard]] UPD_ERROR DownloadMirrorDllVer(CatalogueRun& run, bool mode, uint32_t attempts);
[[nodiscard]] UPD_ERROR DownloadMirrorDylibVer(CatalogueRun& run, bool mode, uint32_t attempts);
