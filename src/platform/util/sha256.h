#pragma once

#include <cstdint>

// SHA-224 and SHA-256 of FIPS 180-4 over a caller-owned context.
struct SHA256_CONTEXT {
  uint64_t processed;   // bytes processed in whole blocks
  uint64_t buffered;    // bytes held in buffer
  uint8_t buffer[128];  // room for the two-block padding
  uint32_t state[8];
};

inline constexpr uint64_t kSha256DigestSize = 32;
inline constexpr uint64_t kSha224DigestSize = 28;

// Results: 0 success, 1 missing context, data or output, 2 output too small
// (nothing written then).
[[nodiscard]] int Sha256Init(SHA256_CONTEXT* context);
[[nodiscard]] int Sha224Init(SHA256_CONTEXT* context);
// Serves SHA-224 too.
[[nodiscard]] int Sha256Update(SHA256_CONTEXT* context, const void* data, uint64_t length);
[[nodiscard]] int Sha256Final(SHA256_CONTEXT* context, uint8_t* output, uint64_t output_size);
[[nodiscard]] int Sha224Final(SHA256_CONTEXT* context, uint8_t* output, uint64_t output_size);
// One-shot SHA-256 of data.
[[nodiscard]] int Sha256Digest(const void* data, uint64_t length, uint8_t* output,
                               uint64_t output_size);

// Block function over whole 64-byte blocks.
using Sha256BlockFunction = void (*)(SHA256_CONTEXT* context, const uint8_t* data, uint64_t blocks);

// The process-wide block function, chosen on first use: the SHA extensions
// where the processor has them, else the portable one.
[[nodiscard]] Sha256BlockFunction Sha256CurrentBlockFunction();
// Replaces the choice; lets tests run both block functions over one set of vectors.
void Sha256SetBlockFunction(Sha256BlockFunction function);
void Sha256BlockPortable(SHA256_CONTEXT* context, const uint8_t* data, uint64_t blocks);
// Only where CpuHasShaNi().
void Sha256BlockShaNi(SHA256_CONTEXT* context, const uint8_t* data, uint64_t blocks);
