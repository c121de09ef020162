#pragma once

// The SHA-512 compression function as inline templates, included by the
// baseline and the AVX2 translation units so that each compiles its own copy
// for its own instruction set. Everything here has internal linkage: a shared
// inline definition could let the linker run an AVX2 copy on a processor
// without AVX2.

#include <bit>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "platform/util/digest_bytes.h"

namespace {  // NOLINT(build/namespaces): one copy per instruction set, see above

constexpr uint64_t kRoundConstants[80] = {
    0x428A2F98D728AE22ULL, 0x7137449123EF65CDULL, 0xB5C0FBCFEC4D3B2FULL, 0xE9B5DBA58189DBBCULL,
    0x3956C25BF348B538ULL, 0x59F111F1B605D019ULL, 0x923F82A4AF194F9BULL, 0xAB1C5ED5DA6D8118ULL,
    0xD807AA98A3030242ULL, 0x12835B0145706FBEULL, 0x243185BE4EE4B28CULL, 0x550C7DC3D5FFB4E2ULL,
    0x72BE5D74F27B896FULL, 0x80DEB1FE3B1696B1ULL, 0x9BDC06A725C71235ULL, 0xC19BF174CF692694ULL,
    0xE49B69C19EF14AD2ULL, 0xEFBE4786384F25E3ULL, 0x0FC19DC68B8CD5B5ULL, 0x240CA1CC77AC9C65ULL,
    0x2DE92C6F592B0275ULL, 0x4A7484AA6EA6E483ULL, 0x5CB0A9DCBD41FBD4ULL, 0x76F988DA831153B5ULL,
    0x983E5152EE66DFABULL, 0xA831C66D2DB43210ULL, 0xB00327C898FB213FULL, 0xBF597FC7BEEF0EE4ULL,
    0xC6E00BF33DA88FC2ULL, 0xD5A79147930AA725ULL, 0x06CA6351E003826FULL, 0x142929670A0E6E70ULL,
    0x27B70A8546D22FFCULL, 0x2E1B21385C26C926ULL, 0x4D2C6DFC5AC42AEDULL, 0x53380D139D95B3DFULL,
    0x650A73548BAF63DEULL, 0x766A0ABB3C77B2A8ULL, 0x81C2C92E47EDAEE6ULL, 0x92722C851482353BULL,
    0xA2BFE8A14CF10364ULL, 0xA81A664BBC423001ULL, 0xC24B8B70D0F89791ULL, 0xC76C51A30654BE30ULL,
    0xD192E819D6EF5218ULL, 0xD69906245565A910ULL, 0xF40E35855771202AULL, 0x106AA07032BBD1B8ULL,
    0x19A4C116B8D2D0C8ULL, 0x1E376C085141AB53ULL, 0x2748774CDF8EEB99ULL, 0x34B0BCB5E19B48A8ULL,
    0x391C0CB3C5C95A63ULL, 0x4ED8AA4AE3418ACBULL, 0x5B9CCA4F7763E373ULL, 0x682E6FF3D6B2B8A3ULL,
    0x748F82EE5DEFB2FCULL, 0x78A5636F43172F60ULL, 0x84C87814A1F0AB72ULL, 0x8CC702081A6439ECULL,
    0x90BEFFFA23631E28ULL, 0xA4506CEBDE82BDE9ULL, 0xBEF9A3F7B2C67915ULL, 0xC67178F2E372532BULL,
    0xCA273ECEEA26619CULL, 0xD186B8C721C0C207ULL, 0xEADA7DD6CDE0EB1EULL, 0xF57D4F7FEE6ED178ULL,
    0x06F067AA72176FBAULL, 0x0A637DC5A2C898A6ULL, 0x113F9804BEF90DAEULL, 0x1B710B35131C471BULL,
    0x28DB77F523047D84ULL, 0x32CAAB7B40C72493ULL, 0x3C9EBE0A15C9BEBCULL, 0x431D67C49C100D4CULL,
    0x4CC5D4BECB3E42B6ULL, 0x597F299CFC657E2AULL, 0x5FCB6FAB3AD6FAECULL, 0x6C44198C4A475817ULL,
};

inline uint64_t BigSigma0(uint64_t x) {
  return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
inline uint64_t BigSigma1(uint64_t x) {
  return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}
inline uint64_t SmallSigma0(uint64_t x) { return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7); }
inline uint64_t SmallSigma1(uint64_t x) { return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6); }

// One round with the working variables named in place: the caller rotates the
// names instead of moving eight values per round. The sums are grouped so that
// the terms known early (h, K + W) join first and the chains through e and a
// stay short. Maj is b ^ ((a ^ b) & (b ^ c)), and this round's a ^ b is the
// next round's b ^ c.
[[gnu::always_inline]] inline void Round(uint64_t a, uint64_t b, uint64_t& d, uint64_t e,
                                         uint64_t f, uint64_t g, uint64_t& h, uint64_t& b_xor_c,
                                         uint64_t k_plus_w) {
  const uint64_t early = h + k_plus_w;
  const uint64_t t1 = BigSigma1(e) + (early + (g ^ (e & (f ^ g))));
  const uint64_t a_xor_b = a ^ b;
  const uint64_t maj = b ^ (a_xor_b & b_xor_c);
  d += t1;
  h = BigSigma0(a) + (t1 + maj);
  b_xor_c = a_xor_b;
}

#if defined(__SSE2__)

// Rotations of both 64-bit lanes.
template <int kBits>
inline __m128i RotateRight(__m128i x) {
  return _mm_or_si128(_mm_srli_epi64(x, kBits), _mm_slli_epi64(x, 64 - kBits));
}

// [a.high, b.low]: a word pair that straddles two stored pairs.
inline __m128i Straddle(__m128i a, __m128i b) {
  return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(a), _mm_castsi128_pd(b), 1));
}

// The message schedule runs two words at a time in vector registers, beside
// the integer units that carry the rounds; each group of eight rounds works
// out the eight words two groups ahead, so both streams overlap. x holds the
// last sixteen words as pairs; wk receives W + K.
class Schedule {
 public:
  explicit Schedule(const uint8_t* block) {
    for (int j = 0; j < 8; ++j) {
      x_[j] = _mm_set_epi64x(static_cast<long long>(LoadBe64(block + 16 * j + 8)),
                             static_cast<long long>(LoadBe64(block + 16 * j)));
      Store(j);
    }
  }

  // Pairs j (8 to 39) hold words 2j and 2j + 1.
  template <int j>
  [[gnu::always_inline]] void Pair() {
    const __m128i w15 = Straddle(x_[j % 8], x_[(j + 1) % 8]);
    const __m128i w7 = Straddle(x_[(j + 4) % 8], x_[(j + 5) % 8]);
    const __m128i w2 = x_[(j + 7) % 8];
    const __m128i s0 = _mm_xor_si128(_mm_xor_si128(RotateRight<1>(w15), RotateRight<8>(w15)),
                                     _mm_srli_epi64(w15, 7));
    const __m128i s1 = _mm_xor_si128(_mm_xor_si128(RotateRight<19>(w2), RotateRight<61>(w2)),
                                     _mm_srli_epi64(w2, 6));
    x_[j % 8] = _mm_add_epi64(_mm_add_epi64(x_[j % 8], s0), _mm_add_epi64(w7, s1));
    Store(j);
  }

  const uint64_t* wk() const { return wk_; }

 private:
  [[gnu::always_inline]] void Store(int j) {
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 2 * j));
    _mm_store_si128(reinterpret_cast<__m128i*>(wk_ + 2 * j), _mm_add_epi64(x_[j % 8], k));
  }

  __m128i x_[8];
  alignas(16) uint64_t wk_[80];
};

#else

class Schedule {
 public:
  explicit Schedule(const uint8_t* block) {
    for (int i = 0; i < 16; ++i) w_[i] = LoadBe64(block + 8 * i);
    for (int i = 0; i < 16; ++i) wk_[i] = w_[i] + kRoundConstants[i];
  }

  template <int j>
  void Pair() {
    for (int i = 2 * j; i < 2 * j + 2; ++i) {
      w_[i] = w_[i - 16] + SmallSigma0(w_[i - 15]) + w_[i - 7] + SmallSigma1(w_[i - 2]);
      wk_[i] = w_[i] + kRoundConstants[i];
    }
  }

  const uint64_t* wk() const { return wk_; }

 private:
  uint64_t w_[80];
  uint64_t wk_[80];
};

#endif

struct Working {
  uint64_t a, b, c, d, e, f, g, h;
  uint64_t b_xor_c;
};

// Rounds 8 * kGroup to 8 * kGroup + 7, with the schedule's words for two
// groups later worked out beside them.
template <int kGroup, class S>
[[gnu::always_inline]] inline void EightRounds(S& schedule, Working& v) {
  // One schedule pair between every two rounds keeps few vector temporaries
  // live at once, so none of them spill.
  constexpr bool kScheduling = kGroup < 8;
  const uint64_t* w = schedule.wk() + 8 * kGroup;
  // The rounds read the words back from memory: moving them out of the vector
  // registers directly costs more than the load.
  __asm__("" : "+r"(w));
  auto& [a, b, c, d, e, f, g, h, x] = v;
  if constexpr (kScheduling) schedule.template Pair<8 + 4 * kGroup>();
  Round(a, b, d, e, f, g, h, x, w[0]);
  Round(h, a, c, d, e, f, g, x, w[1]);
  if constexpr (kScheduling) schedule.template Pair<9 + 4 * kGroup>();
  Round(g, h, b, c, d, e, f, x, w[2]);
  Round(f, g, a, b, c, d, e, x, w[3]);
  if constexpr (kScheduling) schedule.template Pair<10 + 4 * kGroup>();
  Round(e, f, h, a, b, c, d, x, w[4]);
  Round(d, e, g, h, a, b, c, x, w[5]);
  if constexpr (kScheduling) schedule.template Pair<11 + 4 * kGroup>();
  Round(c, d, f, g, h, a, b, x, w[6]);
  Round(b, c, e, f, g, h, a, x, w[7]);
}

template <class S, int... kGroups>
[[gnu::always_inline]] inline void AllRounds(S& schedule, Working& v,
                                             std::integer_sequence<int, kGroups...>) {
  (EightRounds<kGroups>(schedule, v), ...);
}

template <class S>
[[gnu::always_inline]] inline void RunRounds(uint64_t state[8], S& schedule) {
  Working v{state[0], state[1], state[2], state[3],           state[4],
            state[5], state[6], state[7], state[1] ^ state[2]};
  AllRounds(schedule, v, std::make_integer_sequence<int, 10>{});
  state[0] += v.a;
  state[1] += v.b;
  state[2] += v.c;
  state[3] += v.d;
  state[4] += v.e;
  state[5] += v.f;
  state[6] += v.g;
  state[7] += v.h;
}

}  // namespace
