#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

#include "platform/util/buffer.h"

namespace upd::test {

// size bytes that look random but are the same for a seed on every run.
inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

// The bytes a buffer holds.
inline std::string Contents(const CBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Length());
}

// How often what occurs in text, overlaps included.
inline int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace upd::test
