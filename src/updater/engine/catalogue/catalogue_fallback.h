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

// The catalogues a run or a mirror fetches.
enum class CatalogueKind {
  kCurrent,       // the run's pair of paths, engine category
  kMirrorEngine,  // "upd.ver"
  kMirrorDll,     // "upd_dll.ver" under "dll"
  kMirrorDylib,   // "upd_dylib.ver" under "dylib"
};

// Where the catalogue of kind lies, and the category of its sections.
[[nodiscard]] const char* CataloguePathOf(const CataloguePaths& paths, CatalogueKind kind);
[[nodiscard]] uint32_t CatalogueCategoryOf(CatalogueKind kind);

// The catalogue of kind through DownloadUpdateVerWithFallback, with its
// paths, server folder and category.
[[nodiscard]] Result<Catalogue> DownloadCatalogue(CatalogueRun& run, CatalogueKind kind,
                                                  bool mode, uint32_t attempts);
