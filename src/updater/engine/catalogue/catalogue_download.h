#pragma once

#include <cstdint>

#include "platform/util/result.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/catalogue/catalogue_run.h"

// The download of the update catalogue "update.ver" from one server into a
// catalogue path of the context. A configured server gives the plain file,
// taken as it is. When the library chooses ("AUTOSELECT" or "auto"), it draws
// a stored default server by weight (else the second or fail-safe server)
// and takes the signed form "update.ver.signed", checked against the update
// key; only a missing signed form (kUpdNotFound, kUpdSignatureMismatch,
// kUpdMissing) lets the plain file
// of that server be taken unchecked, while one that fails its check fails
// the server. Every fetched body is kept under the update folder (the kept
// copy, see MakeMirrorSourcePath) so that the server can answer "not
// modified" next time.

// Catalogue names on a server.
inline constexpr char kCatalogueName[] = "update.ver";
inline constexpr char kSignedCatalogueName[] = "update.ver.signed";

// One fetch. server null means the settings' configured server; suffix is
// "", "dll" or "dylib"; category the id the catalogue must offer (3, 4 or 5).
// mode non-zero lets the step use the stored default servers and the
// settings' source flag. On success writes the run's server location, sets
// the run state's keptCatalogue when the kept copy was used, and gives the
// catalogue put at catalog_path with what it proved. Else kUpdCategoryMissing
// when the catalogue offers nothing of category (its kept copy is deleted);
// kUpdTempFileFailed without a temporary file; kUpdCopyFailed or kUpdDiskFull
// when it cannot be put in place; kUpdStopped when aborted; else the last
// server's download result.
[[nodiscard]] Result<Catalogue> DownloadUpdateVer(CatalogueRun& run, const char* catalog_path,
                                                  const char* suffix, uint32_t category, bool mode,
                                                  const char* server);
