#pragma once

// The two-block SHA-512 compression over 256-bit vectors, included after its
// target switch by each translation unit that builds a form of it (AVX2,
// AVX-512VL): the compiler then picks each instruction set's own forms, such
// as single-instruction rotations and three-way logic with AVX-512VL. Like
// sha512_rounds.h, everything has internal linkage. The including file
// includes <immintrin.h>, <cstdint> and sha512.h before its target switch.

#include "platform/util/sha512_rounds.h"

namespace {  // NOLINT(build/namespaces): one copy per instruction set

constexpr uint64_t kBlock = 128;

// Each pair of round constants twice over, to add to both blocks' words with
// one load.
struct DoubledConstants {
  alignas(32) uint64_t k[160];
};

constexpr DoubledConstants MakeDoubled() {
  DoubledConstants d{};
  for (int j = 0; j < 40; ++j) {
    d.k[4 * j] = d.k[4 * j + 2] = kRoundConstants[2 * j];
    d.k[4 * j + 1] = d.k[4 * j + 3] = kRoundConstants[2 * j + 1];
  }
  return d;
}

constexpr DoubledConstants kDoubled = MakeDoubled();

// The schedules of two blocks at once, one per 128-bit half of each register:
// the second block's words cost no extra vector instructions.
class PairSchedule {
 public:
  PairSchedule(const uint8_t* first, const uint8_t* second) {
    const __m256i swap = _mm256_set_epi64x(0x08090a0b0c0d0e0fLL, 0x0001020304050607LL,
                                           0x08090a0b0c0d0e0fLL, 0x0001020304050607LL);
    for (int j = 0; j < 8; ++j) {
      const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 16 * j));
      const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * j));
      x_[j] = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), swap);
      Store(j);
    }
  }

  template <int j>
  [[gnu::always_inline]] void Pair() {
    const __m256i w15 = Straddle(x_[j % 8], x_[(j + 1) % 8]);
    const __m256i w7 = Straddle(x_[(j + 4) % 8], x_[(j + 5) % 8]);
    const __m256i w2 = x_[(j + 7) % 8];
    const __m256i s0 = _mm256_xor_si256(_mm256_xor_si256(RotateRight<1>(w15), RotateBytes(w15)),
                                        _mm256_srli_epi64(w15, 7));
    const __m256i s1 = _mm256_xor_si256(_mm256_xor_si256(RotateRight<19>(w2), RotateRight<61>(w2)),
                                        _mm256_srli_epi64(w2, 6));
    x_[j % 8] = _mm256_add_epi64(_mm256_add_epi64(x_[j % 8], s0), _mm256_add_epi64(w7, s1));
    Store(j);
  }

  // The first block's words, which the rounds of that block read.
  const uint64_t* wk() const { return wk_[0]; }
  const uint64_t* second_wk() const { return wk_[1]; }

 private:
  // Rotation by a whole byte is one shuffle instead of two shifts and an or.
  [[gnu::always_inline]] static __m256i RotateBytes(__m256i x) {
    const __m256i by_one = _mm256_set_epi64x(0x080f0e0d0c0b0a09LL, 0x0007060504030201LL,
                                             0x080f0e0d0c0b0a09LL, 0x0007060504030201LL);
    return _mm256_shuffle_epi8(x, by_one);
  }

  template <int kBits>
  [[gnu::always_inline]] static __m256i RotateRight(__m256i x) {
    return _mm256_or_si256(_mm256_srli_epi64(x, kBits), _mm256_slli_epi64(x, 64 - kBits));
  }

  [[gnu::always_inline]] static __m256i Straddle(__m256i a, __m256i b) {
    return _mm256_castpd_si256(
        _mm256_shuffle_pd(_mm256_castsi256_pd(a), _mm256_castsi256_pd(b), 5));
  }

  [[gnu::always_inline]] void Store(int j) {
    const __m256i k = _mm256_load_si256(reinterpret_cast<const __m256i*>(kDoubled.k + 4 * j));
    const __m256i sum = _mm256_add_epi64(x_[j % 8], k);
    _mm_store_si128(reinterpret_cast<__m128i*>(wk_[0] + 2 * j), _mm256_castsi256_si128(sum));
    _mm_store_si128(reinterpret_cast<__m128i*>(wk_[1] + 2 * j), _mm256_extracti128_si256(sum, 1));
  }

  __m256i x_[8];
  alignas(16) uint64_t wk_[2][80];
};

// The second block's rounds over words already worked out.
struct ReadySchedule {
  template <int j>
  void Pair() {}
  const uint64_t* wk() const { return words; }
  const uint64_t* words;
};

[[gnu::noinline]] void CompressTwo(uint64_t state[8], const uint8_t* first) {
  PairSchedule schedule(first, first + kBlock);
  RunRounds(state, schedule);
  ReadySchedule second{schedule.second_wk()};
  RunRounds(state, second);
}

void CompressOne(uint64_t state[8], const uint8_t* block) {
  Schedule schedule(block);
  RunRounds(state, schedule);
}

// Whole blocks, two at a time while there are two.
inline void CompressBlocks(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  for (; blocks >= 2; blocks -= 2, data += 2 * kBlock) CompressTwo(context->state, data);
  if (blocks != 0) CompressOne(context->state, data);
}

}  // namespace
