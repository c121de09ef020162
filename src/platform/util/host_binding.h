#pragma once

#include "updater.h"

// What the platform helpers may know of a library context: the settings of
// the working call and the two folders they clean. The engine's context
// derives from it, so a context pointer converts to this record and the
// platform layer never needs the engine's headers.
struct HostBinding {
  // Settings of the working call in progress, or null between calls.
  const UPDATER_SETTINGS* settings = nullptr;
  // The data folder's "updfiles" folder, ending in '/'.
  char updateFolder[UPD_PATH_SIZE] = {};
  // The modules folder, ending in '/'.
  char modulesFolder[UPD_PATH_SIZE] = {};
};
