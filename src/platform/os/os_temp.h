#pragma once

#include <cstddef>

// The temporary folder ("TMPDIR", else "/tmp"), ended with '/'. Returns 0.
int OsGetTempFolder(char* buffer, size_t size);

// Creates an empty unique file "<folder><prefix>.XXXXXX" (mode 0600) in folder,
// or in the temporary folder when folder is null, and leaves it on disk.
[[nodiscard]] int OsGetTempFileName(const char* prefix, char* result, size_t size,
                                    const char* folder);
