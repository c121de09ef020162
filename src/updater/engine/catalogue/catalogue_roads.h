#pragma once

#include <string>

#include "updater.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/catalogue/catalogue_transfer.h"
#include "updater/engine/servers/default_servers.h"

// The two roads of one catalogue fetch (see catalogue_download.h).

// What a road delivered into the catalogue path.
struct CatalogueOutcome {
  // kUpdOk, or kUpdNotModified when the kept copy was used; else the
  // failure.
  UPD_ERROR result = 0;
  // The server folder the catalogue came from.
  std::string serverUrl;
  // The kept copy of the URL that delivered.
  std::string keptCopy;
  // The catalogue put in place, with what it proved.
  Catalogue catalogue;
};

// The plain "update.ver" of server (with suffix as a path part), taken as
// it is.
[[nodiscard]] CatalogueOutcome FetchFromConfiguredServer(const CatalogueRun& run,
                                                         const CatalogueRequest& request,
                                                         const char* catalog_path,
                                                         const char* server, const char* suffix);

// A server drawn from the stored default servers (mode non-zero), else the
// fall-back server, with the signed form preferred; failed servers are
// drawn no more.
[[nodiscard]] CatalogueOutcome FetchFromChosenServer(const CatalogueRun& run,
                                                     const CatalogueRequest& request,
                                                     const char* catalog_path, const char* suffix,
                                                     bool mode);
