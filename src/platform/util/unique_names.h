#pragma once

#include <cstddef>

// Unique file and folder names made of a format with one unsigned 32-bit
// argument (such as "zel%08X.nup") and a random number of the calling
// thread's generator. Each tries at most kUniqueNameTries names.

inline constexpr int kUniqueNameTries = 32;

// Creates a new empty file under the first free name (creating its folder)
// and leaves the name in buffer.
[[nodiscard]] bool CreateUniqueFile(const char* format, char* buffer, size_t size);
// Finds a name under which nothing exists yet; creates nothing.
[[nodiscard]] bool CreateUniqueFolder(const char* format, char* buffer, size_t size);

// The next value of the thread's folder-name generator.
[[nodiscard]] unsigned int NextFolderNameNumber();
