#include "platform/util/sha256.h"

#include <bit>
#include <cstring>

#include "platform/util/block_function_choice.h"
#include "platform/util/cpu_features.h"
#include "platform/util/digest_absorb.h"
#include "platform/util/digest_bytes.h"
#include "platform/util/sha256_constants.h"

namespace {

constexpr uint64_t kBlock = 64;
// Marker byte plus the 8-byte bit count must fit behind the data of the last block.
constexpr uint64_t kLastBlockRoom = kBlock - 8;

Sha256BlockFunction Chosen() { return CpuHasShaNi() ? Sha256BlockShaNi : Sha256BlockPortable; }

constinit BlockFunctionChoice<Sha256BlockFunction> g_block{&Chosen};

// Runs whole blocks and counts them.
void RunBlocks(SHA256_CONTEXT* context, const uint8_t* data, uint64_t count) {
  g_block.Get()(context, data, count);
  context->processed += count * kBlock;
}

constexpr uint32_t kSha256Initial[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                        0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
constexpr uint32_t kSha224Initial[8] = {0xC1059ED8, 0x367CD507, 0x3070DD17, 0xF70E5939,
                                        0xFFC00B31, 0x68581511, 0x64F98FA7, 0xBEFA4FA4};

void Compress(uint32_t state[8], const uint8_t* block) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 64; ++i) {
    uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
    uint32_t ch = (e & f) ^ (~e & g);
    uint32_t t1 = h + s1 + ch + kSha256RoundConstants[i] + w[i];
    uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
    uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
    uint32_t t2 = s0 + maj;
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

int Finish(SHA256_CONTEXT* context, uint8_t* output, uint64_t output_size, uint64_t digest_size) {
  if (context == nullptr || output == nullptr) return 1;
  if (output_size < digest_size) return 2;
  const uint64_t bits = (context->processed + context->buffered) * 8;
  uint8_t* tail = context->buffer;
  tail[context->buffered] = 0x80;
  const uint64_t size = context->buffered < kLastBlockRoom ? kBlock : 2 * kBlock;
  std::memset(tail + context->buffered + 1, 0, size - context->buffered - 1);
  StoreBe64(tail + size - 8, bits);
  RunBlocks(context, tail, size / kBlock);
  context->buffered = 0;
  for (uint64_t i = 0; i < digest_size / 4; ++i) StoreBe32(output + 4 * i, context->state[i]);
  return 0;
}

}  // namespace

void Sha256BlockPortable(SHA256_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  for (; blocks != 0; --blocks, data += kBlock) Compress(context->state, data);
}

Sha256BlockFunction Sha256CurrentBlockFunction() { return g_block.Get(); }

void Sha256SetBlockFunction(Sha256BlockFunction function) { g_block.Set(function); }

int Sha256Init(SHA256_CONTEXT* context) { return Sha2Start(context, kSha256Initial); }

int Sha224Init(SHA256_CONTEXT* context) { return Sha2Start(context, kSha224Initial); }

int Sha256Update(SHA256_CONTEXT* context, const void* data, uint64_t length) {
  if (context == nullptr || data == nullptr) return 1;
  DigestAbsorb<kBlock>(
      context->buffer, context->buffered, static_cast<const uint8_t*>(data), length,
      [context](const uint8_t* blocks, uint64_t count) { RunBlocks(context, blocks, count); });
  return 0;
}

int Sha256Final(SHA256_CONTEXT* context, uint8_t* output, uint64_t output_size) {
  return Finish(context, output, output_size, kSha256DigestSize);
}

int Sha224Final(SHA256_CONTEXT* context, uint8_t* output, uint64_t output_size) {
  return Finish(context, output, output_size, kSha224DigestSize);
}

int Sha256Digest(const void* data, uint64_t length, uint8_t* output, uint64_t output_size) {
  if (data == nullptr || output == nullptr) return 1;
  if (output_size < kSha256DigestSize) return 2;
  SHA256_CONTEXT context;
  if (Sha256Init(&context) != 0 || Sha256Update(&context, data, length) != 0) return 1;
  return Finish(&context, output, output_size, kSha256DigestSize);
}
