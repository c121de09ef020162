#pragma once

#include "updater.h"

// Where the catalogue in use came from, in the context's own buffers: the
// server folder of the catalogue, and the same URL ending in '/' from which
// package URLs are made. The catalogue step writes both; later steps read.
struct ServerLocation {
  char (&catalogueBaseUrl)[UPD_PATH_SIZE];
  char (&serverRoot)[UPD_PATH_SIZE];
};
