// The two-block SHA-512 block function of sha512_pair.h built for AVX-512VL
// (256-bit vectors only), with AVX2 and BMI2: rotations and three-way logic
// of the message schedule become single instructions, and twice the vector
// registers leave the compiler nothing to spill. Runs only where the processor
// and the system support it; headers with inline code of external linkage
// come before the target switch, as in sha512_avx2.cpp.
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/util/digest_bytes.h"
#include "platform/util/sha512.h"

#if defined(__x86_64__)
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi2,avx512f,avx512vl"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi2,avx512f,avx512vl")
#endif

#include "platform/util/sha512_pair.h"

void Sha512BlockAvx512Vl(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  CompressBlocks(context, data, blocks);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#else

void Sha512BlockAvx512Vl(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  Sha512BlockPortable(context, data, blocks);
}

#endif
