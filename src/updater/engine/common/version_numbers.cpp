#include "updater/engine/common/version_numbers.h"

#include <array>
#include <cstddef>

namespace {

constexpr size_t kMaxParts = 4;

// Reads up to `wanted` dot-separated parts into parts (the rest stay 0).
std::array<uint64_t, kMaxParts> ReadParts(const char* text, size_t wanted) {
  std::array<uint64_t, kMaxParts> parts{};
  if (text == nullptr) return parts;
  const char* cursor = text;
  for (size_t i = 0; i < wanted; ++i) {
    if (i > 0) {
      if (*cursor != '.') break;
      ++cursor;
    }
    if (*cursor < '0' || *cursor > '9') break;
    uint64_t value = 0;
    // Accumulating modulo 2^16 keeps the low 16 bits of any length of digits.
    for (; *cursor >= '0' && *cursor <= '9'; ++cursor) {
      value = (value * 10 + static_cast<uint64_t>(*cursor - '0')) & 0xFFFF;
    }
    parts[i] = value;
  }
  return parts;
}

}  // namespace

uint64_t ParseVersion4(const char* text) {
  const auto p = ReadParts(text, 4);
  return (p[0] << 48) | (p[1] << 32) | (p[2] << 16) | p[3];
}

uint64_t ParseVersion3(const char* text) {
  const auto p = ReadParts(text, 3);
  return (p[0] << 48) | (p[1] << 32) | p[2];
}
