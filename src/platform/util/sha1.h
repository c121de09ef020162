#pragma once

#include <cstdint>

// SHA-1 of FIPS 180-4 over a caller-owned context.
struct SHA1_CONTEXT {
  uint32_t state[5];
  uint64_t buffered;   // bytes held in buffer
  uint64_t blocks;     // 64-byte blocks processed
  uint8_t buffer[64];  // after Sha1Final, the digest in its first 20 bytes
};

inline constexpr uint64_t kSha1DigestSize = 20;

void Sha1Init(SHA1_CONTEXT* context);
void Sha1Update(SHA1_CONTEXT* context, const void* data, uint64_t length);
void Sha1Final(SHA1_CONTEXT* context);
// The 20-byte digest inside the context, valid while the context is unchanged.
[[nodiscard]] const uint8_t* Sha1Digest(SHA1_CONTEXT* context);

// Block function: consumes the whole 64-byte blocks at *data, advancing *data,
// lowering *length and counting the blocks in the context.
using Sha1BlockFunction = void (*)(SHA1_CONTEXT* context, const uint8_t** data, uint64_t* length);

// The process-wide block function, chosen on first use: the SHA extensions
// where the processor has them, else the portable one.
[[nodiscard]] Sha1BlockFunction Sha1CurrentBlockFunction();
// Replaces the choice; lets tests run both block functions over one set of vectors.
void Sha1SetBlockFunction(Sha1BlockFunction function);
void Sha1BlockPortable(SHA1_CONTEXT* context, const uint8_t** data, uint64_t* length);
// Only where CpuHasShaNi().
void Sha1BlockShaNi(SHA1_CONTEXT* context, const uint8_t** data, uint64_t* length);
