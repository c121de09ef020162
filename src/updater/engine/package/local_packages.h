#pragma once

#include <cstdint>

#include "updater.h"
#include "updater/engine/lists/component_list.h"

// The packages and module files already on this machine. update_folder is
// the context's "updfiles" folder.

// Sub-folders of the update folder that hold packages.
inline constexpr char kContinuousFolder[] = "continuous";
inline constexpr char kPreliminaryFolder[] = "preliminary";
inline constexpr char kReverseFolder[] = "reverse";
inline constexpr char kBaseNonNupsFolder[] = "base_nonnups";
inline constexpr char kTempMirrorFolder[] = "tempMirror";
inline constexpr char kTempMirrorPcuFolder[] = "tempMirrorPCU";

// Appends the engine packages of the update folder and of its "continuous",
// "preliminary" and "reverse" folders (headers only, no signature check),
// each with 0x201, those of "preliminary" with 0x2000 instead. Returns the
// number appended.
uint32_t ScanNupFolders(CListBase& list, const char* update_folder);

// The mirror's form: packages of every category in the update folder and
// its "continuous", "reverse", "tempMirror" and "tempMirrorPCU" folders,
// each with 0x201, passing over those the list already holds.
uint32_t ScanMirrorNupFolders(CListBase& list, const char* update_folder);

// Appends, through the host's engine (event 28, released with 29), the
// module files kept in the update folder's "base_nonnups" folder; a file the
// engine cannot read is deleted. Nothing without an engine. Returns the list
// size.
int64_t ScanBaseNonNups(CListBase& list, const UPDATER_SETTINGS* settings,
                        const char* update_folder);

// Appends, through the host's engine, the installed module files "em*.dat"
// of modules_folder; without an engine the list stays as it is.
void ScanInstalledModules(CListBase& list, const UPDATER_SETTINGS* settings,
                          const char* modules_folder);
// The same into an emptied list.
void ScanInstalledModulesEx(CListBase& list, const UPDATER_SETTINGS* settings,
                            const char* modules_folder);
