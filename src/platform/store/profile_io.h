#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

// Whole-file reads and writes of the INI layer.

struct ProfileBytes {
  std::unique_ptr<char[]> data;  // NUL-terminated
  size_t size = 0;
};

// Reads the whole file; false when it cannot be opened, sized or read in full.
[[nodiscard]] bool ProfileReadFile(const char* path, ProfileBytes* out);

// Writes content as the whole new file at path, creating its folder. A regular
// file (or a new one) is written to a temporary file in the same folder,
// flushed to disk and renamed over the old one, keeping the old mode and
// owner; anything else (a descriptor path, a device) is written in place.
// False when any step fails, and then a regular target is left unchanged.
[[nodiscard]] bool ProfileWriteFile(const char* path, std::string_view content);
