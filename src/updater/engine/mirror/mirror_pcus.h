#pragma once

#include <cstdint>
#include <string>

#include "platform/util/update_errors.h"
#include "updater.h"

// Application packages staged in "tempMirrorPCU" that the host has agreed
// enter the mirror root; their markers go with them.

// Whether every staged package whose name occurs in names (a comma list,
// matched ASCII case-insensitively as a substring) is agreed.
[[nodiscard]] bool ArePcusAgreed(const std::string& pcu_folder, const char* names);

// Moves every agreed package of pcu_folder into mirror_folder under a new
// name and deletes its marker. The count moved; -1 when a move failed, -2
// when no new name could be made.
[[nodiscard]] int32_t MovePcusToMirror(const std::string& pcu_folder, const char* mirror_folder);

// UpdCopyPcusToMirror behind its context check: the agreed packages staged
// under update_folder enter the mirror, whose root catalogue is then written
// anew (with the update hash of last_catalogue when the configured server is
// a mirror). kUpdNoSettings without settings, kUpdNoMirrorSettings without mirror settings.
[[nodiscard]] UpdError CopyPcusToMirror(const char* update_folder, const char* last_catalogue,
                                        const UPDATER_SETTINGS* settings);
