#pragma once

#include <cstdint>

// MD5 of RFC 1321 over a caller-owned context (HTTP Digest authentication).
struct MD5_CONTEXT {
  uint32_t state[4];
  uint32_t bits[2];  // message length in bits: low, high
  uint8_t buffer[64];
};

inline constexpr uint64_t kMd5DigestSize = 16;

// 1 for a null context, else 0.
[[nodiscard]] int Md5Init(MD5_CONTEXT* context);
void Md5Update(MD5_CONTEXT* context, const void* data, uint64_t length);
// 1 for a null context or output, 2 when output_size is below 16 (nothing
// written then), else 0 and the digest.
[[nodiscard]] int Md5Final(MD5_CONTEXT* context, uint8_t* output, uint64_t output_size);
