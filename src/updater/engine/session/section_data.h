#pragma once

#include "platform/util/update_errors.h"

// Writes the file carried inline in a catalogue section as base64 lines
// "data0000", "data0001", ... (up to the first empty or missing one) to
// target, replacing it. 0; 0x1012 when the catalogue cannot be loaded,
// 0x1019 for a character outside base64, 0x3101 out of memory, 0x1016 when
// the target cannot be created, 0x1017 or 0x1020 when writing fails.
[[nodiscard]] UpdError ExtractSectionData(const char* section, const char* target,
                                           const char* ini_path);
