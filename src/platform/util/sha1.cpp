#include "platform/util/sha1.h"

#include <bit>
#include <cstring>

#include "platform/util/block_function_choice.h"
#include "platform/util/cpu_features.h"
#include "platform/util/digest_absorb.h"
#include "platform/util/digest_bytes.h"

namespace {

constexpr uint64_t kBlock = 64;
// Marker byte plus the 8-byte bit count must fit behind the data of the last block.
constexpr uint64_t kLastBlockRoom = kBlock - 8;

Sha1BlockFunction Chosen() { return CpuHasShaNi() ? Sha1BlockShaNi : Sha1BlockPortable; }

constinit BlockFunctionChoice<Sha1BlockFunction> g_block{&Chosen};

void Compress(uint32_t state[5], const uint8_t* block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
  for (int i = 16; i < 80; ++i) w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    uint32_t t = std::rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = std::rotl(b, 30);
    b = a;
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

void RunBlocks(SHA1_CONTEXT* context, const uint8_t* data, uint64_t length) {
  g_block.Get()(context, &data, &length);
}

}  // namespace

void Sha1BlockPortable(SHA1_CONTEXT* context, const uint8_t** data, uint64_t* length) {
  while (*length >= kBlock) {
    Compress(context->state, *data);
    *data += kBlock;
    *length -= kBlock;
    ++context->blocks;
  }
}

Sha1BlockFunction Sha1CurrentBlockFunction() { return g_block.Get(); }

void Sha1SetBlockFunction(Sha1BlockFunction function) { g_block.Set(function); }

void Sha1Init(SHA1_CONTEXT* context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xEFCDAB89;
  context->state[2] = 0x98BADCFE;
  context->state[3] = 0x10325476;
  context->state[4] = 0xC3D2E1F0;
  context->buffered = 0;
  context->blocks = 0;
  std::memset(context->buffer, 0, sizeof context->buffer);
}

void Sha1Update(SHA1_CONTEXT* context, const void* data, uint64_t length) {
  if (length == 0) return;
  DigestAbsorb<kBlock>(context->buffer, context->buffered, static_cast<const uint8_t*>(data),
                       length, [context](const uint8_t* blocks, uint64_t count) {
                         RunBlocks(context, blocks, count * kBlock);
                       });
}

void Sha1Final(SHA1_CONTEXT* context) {
  const uint64_t bits = (context->blocks * kBlock + context->buffered) * 8;
  uint8_t tail[2 * kBlock] = {};
  std::memcpy(tail, context->buffer, context->buffered);
  tail[context->buffered] = 0x80;
  const uint64_t size = context->buffered < kLastBlockRoom ? kBlock : 2 * kBlock;
  StoreBe64(tail + size - 8, bits);
  RunBlocks(context, tail, size);
  for (int i = 0; i < 5; ++i) StoreBe32(context->buffer + 4 * i, context->state[i]);
  context->buffered = 0;
}

const uint8_t* Sha1Digest(SHA1_CONTEXT* context) { return context->buffer; }
