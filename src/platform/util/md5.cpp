#include "platform/util/md5.h"

#include <bit>
#include <cstring>
#include <utility>

#include "platform/util/digest_absorb.h"
#include "platform/util/digest_bytes.h"

namespace {

constexpr uint64_t kBlock = 64;
// Marker byte plus the 8-byte bit count must fit behind the data of the last block.
constexpr uint64_t kLastBlockRoom = kBlock - 8;

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr uint32_t kSine[64] = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391};

// Step i of the 64, with its function, message word and shift known at compile
// time; the caller rotates the names a, b, c, d instead of moving the values.
template <int i>
[[gnu::always_inline]] inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d,
                                        const uint32_t (&m)[16]) {
  uint32_t f;
  int g;
  if constexpr (i < 16) {
    f = d ^ (b & (c ^ d));
    g = i;
  } else if constexpr (i < 32) {
    f = c ^ (d & (b ^ c));
    g = (5 * i + 1) % 16;
  } else if constexpr (i < 48) {
    f = b ^ c ^ d;
    g = (3 * i + 5) % 16;
  } else {
    f = c ^ (b | ~d);
    g = (7 * i) % 16;
  }
  a = b + std::rotl(a + f + kSine[i] + m[g], kShift[i]);
}

template <int... kQuads>
[[gnu::always_inline]] inline void AllSteps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d,
                                            const uint32_t (&m)[16],
                                            std::integer_sequence<int, kQuads...>) {
  ((Step<4 * kQuads>(a, b, c, d, m), Step<4 * kQuads + 1>(d, a, b, c, m),
    Step<4 * kQuads + 2>(c, d, a, b, m), Step<4 * kQuads + 3>(b, c, d, a, m)),
   ...);
}

void Compress(uint32_t state[4], const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadLe32(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  AllSteps(a, b, c, d, m, std::make_integer_sequence<int, 16>{});
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

uint64_t BitCount(const MD5_CONTEXT* context) {
  return uint64_t{context->bits[1]} << 32 | context->bits[0];
}

}  // namespace

int Md5Init(MD5_CONTEXT* context) {
  if (context == nullptr) return 1;
  context->state[0] = 0x67452301;
  context->state[1] = 0xEFCDAB89;
  context->state[2] = 0x98BADCFE;
  context->state[3] = 0x10325476;
  context->bits[0] = context->bits[1] = 0;
  std::memset(context->buffer, 0, sizeof context->buffer);
  return 0;
}

void Md5Update(MD5_CONTEXT* context, const void* data, uint64_t length) {
  if (length == 0) return;
  // The context keeps no count of buffered bytes: the bit count tells it.
  uint64_t buffered = (BitCount(context) / 8) % kBlock;
  const uint64_t bits = BitCount(context) + (length << 3);
  context->bits[0] = static_cast<uint32_t>(bits);
  context->bits[1] = static_cast<uint32_t>(bits >> 32);
  DigestAbsorb<kBlock>(context->buffer, buffered, static_cast<const uint8_t*>(data), length,
                       [context](const uint8_t* blocks, uint64_t count) {
                         for (; count != 0; --count, blocks += kBlock) {
                           Compress(context->state, blocks);
                         }
                       });
}

int Md5Final(MD5_CONTEXT* context, uint8_t* output, uint64_t output_size) {
  if (context == nullptr || output == nullptr) return 1;
  if (output_size < kMd5DigestSize) return 2;
  const uint64_t bits = BitCount(context);
  const uint64_t buffered = (bits / 8) % kBlock;
  uint8_t tail[2 * kBlock] = {};
  std::memcpy(tail, context->buffer, buffered);
  tail[buffered] = 0x80;
  const uint64_t size = buffered < kLastBlockRoom ? kBlock : 2 * kBlock;
  for (int i = 0; i < 8; ++i) tail[size - 8 + i] = static_cast<uint8_t>(bits >> (8 * i));
  for (uint64_t at = 0; at < size; at += kBlock) Compress(context->state, tail + at);
  for (int i = 0; i < 4; ++i) StoreLe32(output + 4 * i, context->state[i]);
  return 0;
}
