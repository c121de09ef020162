#pragma once

#include <cstdint>

#include "updater.h"
#include "updater/engine/common/update_folders.h"
#include "updater/engine/lists/component_list.h"

// The packages already on this machine. update_folder is the context's
// "updfiles" folder.

// Appends the engine packages of the update folder and of its "continuous",
// "preliminary" and "reverse" folders (headers only, no signature check),
// each marked present with a build (kComponentPresent, kComponentHasBuild),
// those of "preliminary" with kComponentPreliminaryFolder instead. Returns the
// number appended.
uint32_t ScanNupFolders(CListBase& list, const char* update_folder);

// The mirror's form: packages of every category in the update folder and
// its "continuous", "reverse", "tempMirror" and "tempMirrorPCU" folders,
// each marked present with a build, passing over those the list already
// holds.
uint32_t ScanMirrorNupFolders(CListBase& list, const char* update_folder);
