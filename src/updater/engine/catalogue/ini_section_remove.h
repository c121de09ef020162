#pragma once

#include "platform/util/update_errors.h"

// Cuts the section "[name]" (found ASCII case-insensitively) out of the INI
// file at path: from its '[' up to the next '[' or the end of the file, the
// way the profile reader delimits sections. kUpdOk also when there is no
// such section (or name is longer than a section header may be); kUpdMissing
// when the file cannot be opened for reading and writing, kUpdReadFailed when
// reading fails, kUpdWriteFailed or kUpdDiskFull when the cut cannot be
// written.
[[nodiscard]] UpdError RemoveIniSection(const char* name, const char* path);
