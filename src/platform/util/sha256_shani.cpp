#include "platform/util/sha256.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include "platform/util/sha256_constants.h"

namespace {

constexpr uint64_t kBlock = 64;

// The SHA extensions keep the state as the lane pairs ABEF and CDGH. Step i
// (0..15) does four rounds with message group i while msg1 and msg2 expand the
// groups that follow.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressBlocks(uint32_t state[8],
                                                                const uint8_t* data,
                                                                uint64_t blocks) {
  const __m128i kByteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i state1 =
      _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);       // CDGH
  for (; blocks != 0; --blocks, data += kBlock) {
    const __m128i abef_save = state0;
    const __m128i cdgh_save = state1;
    __m128i w[4];
    for (int j = 0; j < 4; ++j) {
      w[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * j)),
                              kByteSwap);
    }
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
      __m128i msg = _mm_add_epi32(
          w[i % 4],
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * i)));
      state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
      if (i >= 3 && i <= 14) {
        __m128i carried = _mm_alignr_epi8(w[i % 4], w[(i + 3) % 4], 4);
        w[(i + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(w[(i + 1) % 4], carried), w[i % 4]);
      }
      state0 = _mm_sha256rnds2_epu32(state0, state1, _mm_shuffle_epi32(msg, 0x0E));
      if (i >= 1 && i <= 12) w[(i + 3) % 4] = _mm_sha256msg1_epu32(w[(i + 3) % 4], w[i % 4]);
    }
    state0 = _mm_add_epi32(state0, abef_save);
    state1 = _mm_add_epi32(state1, cdgh_save);
  }
  tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

}  // namespace

void Sha256BlockShaNi(SHA256_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  if (blocks != 0) CompressBlocks(context->state, data, blocks);
}

#else

void Sha256BlockShaNi(SHA256_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  Sha256BlockPortable(context, data, blocks);
}

#endif
