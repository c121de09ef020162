#pragma once

#include "platform/util/update_errors.h"

// Writes the file carried inline in a catalogue section as base64 lines
// "data0000", "data0001", ... (up to the first empty or missing one) to
// target, replacing it. 0; kUpdBadFile when the catalogue cannot be loaded,
// kUpdBadEncoding for a character outside base64, kUpdOutOfMemory out of memory, kUpdOpenFailed
// when the target cannot be created, kUpdWriteFailed or kUpdDiskFull when writing fails.
[[nodiscard]] UpdError ExtractSectionData(const char* section, const char* target,
                                           const char* ini_path);
