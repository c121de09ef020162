#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/util/update_errors.h"
#include "updater.h"

// The ".inf" marker beside each application package staged for a mirror:
// "<package file name>=<hex number>", scrambled, without a line end. Bit 0
// of the number says whether the package's licence text was agreed (clear)
// or not (set); a number of 0 never reads as agreed.

inline constexpr char kMarkerSuffix[] = ".inf";
// Marker files are a few dozen bytes; more is never read.
inline constexpr size_t kMarkerReadLimit = 4096;

// In-place transforms of the marker text; each returns length.
size_t ScrambleMarkerBytes(void* buffer, size_t length);
size_t UnscrambleMarkerBytes(void* buffer, size_t length);

// What a marker holds: the name before the first '=' and the hexadecimal
// number after it.
struct MarkerContent {
  std::string name;
  unsigned long number = 0;
};

// Reads the scrambled bytes of a marker file (only the first
// kMarkerReadLimit count; the text ends at a NUL). Nothing without a '='.
[[nodiscard]] std::optional<MarkerContent> ParseMarkerBytes(std::string_view bytes);

// The number a marker stores for a random value: bit 0 set when not agreed,
// else cleared, and never 0 (which reads as not agreed).
[[nodiscard]] unsigned long MarkerNumber(unsigned long random, bool agreed);

// The package's file name without its folder, as its marker stores it.
[[nodiscard]] std::string MarkerNameOf(const std::string& package_path);

// package_path + ".inf".
[[nodiscard]] std::string MarkerFileName(const std::string& package_path);

// Writes a new marker for name: 0, or kUpdMissing for an empty path or a file that
// cannot be written. An agreed marker always holds a non-zero even number.
[[nodiscard]] UpdError WriteMarkerFile(const char* marker_path, const char* name, bool agreed);

// True only when the marker reads, holds a '=', its stored name matches name
// (ASCII case-insensitive; any name when null) and its number is agreed.
// The stored name is copied to name_out when it fits name_out_size.
[[nodiscard]] bool ReadMarkerFile(const char* marker_path, const char* name, char* name_out,
                                  size_t name_out_size);

// The stored name: 0 with *size = its length; 2 when *size is not larger
// than the length, kUpdInvalidArgument for a null name_out (both with *size = length);
// kUpdInvalidArgument for a null size, kUpdMissing for an empty path or a file that cannot be
// opened, kUpdBadFile for a marker without a name part.
[[nodiscard]] UpdError ReadMarkerName(const char* marker_path, char* name_out, uint64_t* size);
