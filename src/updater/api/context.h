#pragma once

#include "updater.h"

// The library context behind the host's opaque UPDATER_CONTEXT handle. It is
// allocated zero-filled; the update engine adds its lock, lists and sessions
// here. The platform helpers read only the fields below.
struct UPDATER_CONTEXT {
  // Settings of the working call in progress, or null between calls.
  UPDATER_SETTINGS* settings = nullptr;
  // The data folder's "updfiles" folder, ending in '/'.
  char updateFolder[UPD_PATH_SIZE] = {};
  // The modules folder, ending in '/'.
  char modulesFolder[UPD_PATH_SIZE] = {};
};
