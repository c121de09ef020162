#include "platform/util/sha512.h"

#include <bit>
#include <cstring>

#include "platform/util/digest_bytes.h"
#include "platform/util/sha256.h"

namespace {

constexpr uint64_t kBlock = 128;
// Marker byte plus the 16-byte bit count must fit behind the data of the last block.
constexpr uint64_t kLastBlockRoom = kBlock - 16;

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

constexpr uint64_t kSha512Initial[8] = {
    0x6A09E667F3BCC908ULL, 0xBB67AE8584CAA73BULL, 0x3C6EF372FE94F82BULL, 0xA54FF53A5F1D36F1ULL,
    0x510E527FADE682D1ULL, 0x9B05688C2B3E6C1FULL, 0x1F83D9ABFB41BD6BULL, 0x5BE0CD19137E2179ULL};
constexpr uint64_t kSha384Initial[8] = {
    0xCBBB9D5DC1059ED8ULL, 0x629A292A367CD507ULL, 0x9159015A3070DD17ULL, 0x152FECD8F70E5939ULL,
    0x67332667FFC00B31ULL, 0x8EB44A8768581511ULL, 0xDB0C2E0D64F98FA7ULL, 0x47B5481DBEFA4FA4ULL};
constexpr uint64_t kSha512_256Initial[8] = {
    0x22312194FC2BF72CULL, 0x9F555FA3C84C64C2ULL, 0x2393B86B6F53B151ULL, 0x963877195940EABDULL,
    0x96283EE2A88EFFE3ULL, 0xBE5E1E2553863992ULL, 0x2B0199FC2C85B8AAULL, 0x0EB72DDC81C52CA2ULL};

inline uint64_t BigSigma0(uint64_t x) {
  return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
inline uint64_t BigSigma1(uint64_t x) {
  return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}
inline uint64_t SmallSigma0(uint64_t x) { return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7); }
inline uint64_t SmallSigma1(uint64_t x) { return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6); }

void Compress(uint64_t state[8], const uint8_t* block) {
  uint64_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = LoadBe64(block + 8 * i);
  for (int i = 16; i < 80; ++i) {
    w[i] = w[i - 16] + SmallSigma0(w[i - 15]) + w[i - 7] + SmallSigma1(w[i - 2]);
  }
  uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 80; ++i) {
    uint64_t t1 = h + BigSigma1(e) + ((e & f) ^ (~e & g)) + kRoundConstants[i] + w[i];
    uint64_t t2 = BigSigma0(a) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

int Start(SHA512_CONTEXT* context, const uint64_t (&initial)[8]) {
  Sha256ChooseBlockFunction();
  if (context == nullptr) return 1;
  context->processed = 0;
  context->buffered = 0;
  std::memset(context->buffer, 0, sizeof context->buffer);
  std::memcpy(context->state, initial, sizeof context->state);
  return 0;
}

}  // namespace

void Sha512Block(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  for (; blocks != 0; --blocks, data += kBlock) Compress(context->state, data);
}

int Sha512Init(SHA512_CONTEXT* context) { return Start(context, kSha512Initial); }

int Sha384Init(SHA512_CONTEXT* context) { return Start(context, kSha384Initial); }

int Sha512_256Init(SHA512_CONTEXT* context) { return Start(context, kSha512_256Initial); }

int Sha512Update(SHA512_CONTEXT* context, const void* data, uint64_t length) {
  if (context == nullptr || data == nullptr) return 1;
  const auto* in = static_cast<const uint8_t*>(data);
  if (context->buffered != 0) {
    uint64_t take = kBlock - context->buffered;
    if (take > length) take = length;
    std::memcpy(context->buffer + context->buffered, in, take);
    context->buffered += take;
    in += take;
    length -= take;
    if (context->buffered < kBlock) return 0;
    Sha512Block(context, context->buffer, 1);
    context->processed += kBlock;
    context->buffered = 0;
  }
  if (uint64_t blocks = length / kBlock; blocks != 0) {
    Sha512Block(context, in, blocks);
    context->processed += blocks * kBlock;
    in += blocks * kBlock;
    length -= blocks * kBlock;
  }
  if (length != 0) {
    std::memcpy(context->buffer, in, length);
    context->buffered = length;
  }
  return 0;
}

int Sha512Finish(SHA512_CONTEXT* context, uint8_t* output, uint64_t output_size,
                 uint64_t digest_size) {
  if (context == nullptr || output == nullptr) return 1;
  if (digest_size == 0 || digest_size > kSha512DigestSize) return 1;
  if (output_size < digest_size) return 2;
  // The bit count is 128 bits wide; its upper half holds what overflowed the lower.
  const uint64_t bytes = context->processed + context->buffered;
  uint8_t* tail = context->buffer;
  tail[context->buffered] = 0x80;
  const uint64_t size = context->buffered < kLastBlockRoom ? kBlock : 2 * kBlock;
  std::memset(tail + context->buffered + 1, 0, size - context->buffered - 1);
  StoreBe64(tail + size - 16, bytes >> 61);
  StoreBe64(tail + size - 8, bytes << 3);
  Sha512Block(context, tail, size / kBlock);
  context->processed += size;
  context->buffered = 0;
  uint8_t full[kSha512DigestSize];
  for (int i = 0; i < 8; ++i) StoreBe64(full + 8 * i, context->state[i]);
  std::memcpy(output, full, digest_size);
  return 0;
}

int Sha512_256Digest(const void* data, uint64_t length, uint8_t* output, uint64_t output_size) {
  Sha256ChooseBlockFunction();
  if (data == nullptr || output == nullptr) return 1;
  if (output_size < kSha512_256DigestSize) return 2;
  SHA512_CONTEXT context;
  if (Sha512_256Init(&context) != 0 || Sha512Update(&context, data, length) != 0) return 1;
  return Sha512Finish(&context, output, output_size, kSha512_256DigestSize);
}
