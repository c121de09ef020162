#include "platform/util/sha1.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace {

constexpr uint64_t kBlock = 64;

// Four rounds per step i (0..19): the message words of group i feed the rounds
// while later groups are expanded with msg1, xor and msg2.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressBlocks(uint32_t state[5],
                                                                const uint8_t* data,
                                                                uint64_t blocks) {
  const __m128i kByteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; blocks != 0; --blocks, data += kBlock) {
    const __m128i abcd_save = abcd;
    const __m128i e_save = e0;
    __m128i w[4];
    __m128i e1 = _mm_setzero_si128();
    for (int j = 0; j < 4; ++j) {
      w[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * j)),
                              kByteSwap);
    }
#pragma GCC unroll 20
    for (int i = 0; i < 20; ++i) {
      __m128i& cur = (i % 2 == 0) ? e0 : e1;
      __m128i& other = (i % 2 == 0) ? e1 : e0;
      cur = i == 0 ? _mm_add_epi32(e0, w[0]) : _mm_sha1nexte_epu32(cur, w[i % 4]);
      other = abcd;
      if (i >= 3 && i <= 18) w[(i + 1) % 4] = _mm_sha1msg2_epu32(w[(i + 1) % 4], w[i % 4]);
      switch (i / 5) {
        case 0:
          abcd = _mm_sha1rnds4_epu32(abcd, cur, 0);
          break;
        case 1:
          abcd = _mm_sha1rnds4_epu32(abcd, cur, 1);
          break;
        case 2:
          abcd = _mm_sha1rnds4_epu32(abcd, cur, 2);
          break;
        default:
          abcd = _mm_sha1rnds4_epu32(abcd, cur, 3);
          break;
      }
      if (i >= 1 && i <= 16) w[(i + 3) % 4] = _mm_sha1msg1_epu32(w[(i + 3) % 4], w[i % 4]);
      if (i >= 2 && i <= 17) w[(i + 2) % 4] = _mm_xor_si128(w[(i + 2) % 4], w[i % 4]);
    }
    e0 = _mm_sha1nexte_epu32(e0, e_save);
    abcd = _mm_add_epi32(abcd, abcd_save);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

}  // namespace

void Sha1BlockShaNi(SHA1_CONTEXT* context, const uint8_t** data, uint64_t* length) {
  const uint64_t blocks = *length / kBlock;
  if (blocks == 0) return;
  CompressBlocks(context->state, *data, blocks);
  *data += blocks * kBlock;
  *length -= blocks * kBlock;
  context->blocks += blocks;
}

#else

void Sha1BlockShaNi(SHA1_CONTEXT* context, const uint8_t** data, uint64_t* length) {
  Sha1BlockPortable(context, data, length);
}

#endif
