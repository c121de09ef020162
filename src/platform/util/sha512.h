#pragma once

#include <cstdint>

// SHA-384, SHA-512 and SHA-512/256 of FIPS 180-4 over a caller-owned context.
struct SHA512_CONTEXT {
  uint64_t processed;   // bytes processed in whole blocks
  uint64_t buffered;    // bytes held in buffer
  uint8_t buffer[256];  // room for the two-block padding
  uint64_t state[8];
};

inline constexpr uint64_t kSha512DigestSize = 64;
inline constexpr uint64_t kSha384DigestSize = 48;
inline constexpr uint64_t kSha512_256DigestSize = 32;

// Results: 0 success, 1 missing context, data or output, 2 output too small
// (nothing written then).
[[nodiscard]] int Sha512Init(SHA512_CONTEXT* context);
[[nodiscard]] int Sha384Init(SHA512_CONTEXT* context);
[[nodiscard]] int Sha512_256Init(SHA512_CONTEXT* context);
// Serves SHA-384 and SHA-512/256 too.
[[nodiscard]] int Sha512Update(SHA512_CONTEXT* context, const void* data, uint64_t length);
// One-shot SHA-512/256 of data.
[[nodiscard]] int Sha512_256Digest(const void* data, uint64_t length, uint8_t* output,
                                   uint64_t output_size);

// The finishing step of the whole family, for the hash classes: pads, processes
// the last one or two blocks and writes the first digest_size bytes of the
// big-endian state (64 SHA-512, 48 SHA-384, 32 SHA-512/256). 1 also for a
// digest_size of 0 or above 64.
[[nodiscard]] int Sha512Finish(SHA512_CONTEXT* context, uint8_t* output, uint64_t output_size,
                               uint64_t digest_size);

// Block function over whole 128-byte blocks.
void Sha512Block(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks);

// Sha512Block runs the form chosen on first use: two blocks at a time with
// AVX-512VL or else AVX2 where the processor has it, else the AVX/BMI2 build of the one-block
// code, else the baseline one. Tests force each form in turn.
using Sha512BlockFunction = void (*)(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks);
[[nodiscard]] Sha512BlockFunction Sha512CurrentBlockFunction();
void Sha512SetBlockFunction(Sha512BlockFunction function);
void Sha512BlockPortable(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks);
// Only where CpuHasAvxBmi2().
void Sha512BlockAvxBmi2(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks);
// Only where CpuHasAvx2Bmi2().
void Sha512BlockAvx2(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks);
// Only where CpuHasAvx512VlBmi2().
void Sha512BlockAvx512Vl(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks);
