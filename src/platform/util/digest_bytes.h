#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Byte-order helpers of the digest code; memcpy keeps unaligned input legal.

inline uint32_t LoadBe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v;
}

inline uint64_t LoadBe64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
}

inline uint32_t LoadLe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return std::endian::native == std::endian::little ? v : __builtin_bswap32(v);
}

inline void StoreBe32(uint8_t* p, uint32_t v) {
  if (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}

inline void StoreBe64(uint8_t* p, uint64_t v) {
  if (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  std::memcpy(p, &v, sizeof v);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  if (std::endian::native != std::endian::little) v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}
