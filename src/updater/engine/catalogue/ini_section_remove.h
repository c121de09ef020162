#pragma once

#include "updater.h"

// Cuts the section "[name]" (found ASCII case-insensitively) out of the INI
// file at path: from its '[' up to the next '[' or the end of the file, the
// way the profile reader delimits sections. 0 also when there is no such
// section (or name is longer than a section header may be); 0x1011 when the
// file cannot be opened for reading and writing, 0x1013 when reading fails,
// 0x1017 or 0x1020 when the cut cannot be written.
[[nodiscard]] UPD_ERROR RemoveIniSection(const char* name, const char* path);
