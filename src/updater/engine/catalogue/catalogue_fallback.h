#pragma once

#include <cstdint>

#include "platform/util/result.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/catalogue/catalogue_run.h"

// The catalogue step of a run around single fetches: refresh rounds while a
// catalogue names other default servers, the host's event 25 before leaving
// a configured server, the catalogue's "VER" redirect (a server, or "auto"
// for a weighted draw over its listed servers), and the copy to the last
// catalogue. Every result is also left in the run's lastResult. On success
// the catalogue taken (the one written to catalog_path and copied to
// last_catalog_path) is handed back parsed, with what it proved, for the
// steps after it.

[[nodiscard]] Result<Catalogue> DownloadUpdateVerWithFallback(CatalogueRun& run,
                                                              const char* catalog_path,
                                                              const char* last_catalog_path,
                                                              const char* suffix, uint32_t category,
                                                              bool mode, uint32_t attempts);

// The run's catalogue (the current pair of the run's paths, engine category).
[[nodiscard]] Result<Catalogue> DownloadUpdateVerFile(CatalogueRun& run, bool mode,
                                                      uint32_t attempts);
// The mirror's three catalogues: "upd.ver" (engine), "upd_dll.ver" under
// "dll", "upd_dylib.ver" under "dylib".
[[nodiscard]] Result<Catalogue> DownloadMirrorUpdateVer(CatalogueRun& run, bool mode,
                                                        uint32_t attempts);
[[nodiscard]] Result<Catalogue> DownloadMirrorDllVer(CatalogueRun& run, bool mode,
                                                     uint32_t attempts);
[[nodiscard]] Result<Catalogue> DownloadMirrorDylibVer(CatalogueRun& run, bool mode,
                                                       uint32_t attempts);
