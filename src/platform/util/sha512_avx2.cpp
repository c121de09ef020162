// The two-block SHA-512 block function of sha512_pair.h. The whole file is
// compiled for AVX2 and BMI2 and runs only where the processor reports them.
// Every header with inline code of external linkage comes before the target
// switch, so no copy of it that the linker might share is built for AVX2.
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/util/digest_bytes.h"
#include "platform/util/sha512.h"

#if defined(__x86_64__)
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi2")
#endif

#include "platform/util/sha512_pair.h"

void Sha512BlockAvx2(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  CompressBlocks(context, data, blocks);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else

void Sha512BlockAvx2(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  Sha512BlockPortable(context, data, blocks);
}

#endif
