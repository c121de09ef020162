#include "platform/util/sha512.h"

#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "platform/util/block_function_choice.h"
#include "platform/util/cpu_features.h"
#include "platform/util/digest_absorb.h"
#include "platform/util/digest_bytes.h"
#include "platform/util/sha512_rounds.h"

namespace {

constexpr uint64_t kBlock = 128;
// Marker byte plus the 16-byte bit count must fit behind the data of the last block.
constexpr uint64_t kLastBlockRoom = kBlock - 16;

constexpr uint64_t kSha512Initial[8] = {
    0x6A09E667F3BCC908ULL, 0xBB67AE8584CAA73BULL, 0x3C6EF372FE94F82BULL, 0xA54FF53A5F1D36F1ULL,
    0x510E527FADE682D1ULL, 0x9B05688C2B3E6C1FULL, 0x1F83D9ABFB41BD6BULL, 0x5BE0CD19137E2179ULL};
constexpr uint64_t kSha384Initial[8] = {
    0xCBBB9D5DC1059ED8ULL, 0x629A292A367CD507ULL, 0x9159015A3070DD17ULL, 0x152FECD8F70E5939ULL,
    0x67332667FFC00B31ULL, 0x8EB44A8768581511ULL, 0xDB0C2E0D64F98FA7ULL, 0x47B5481DBEFA4FA4ULL};
constexpr uint64_t kSha512_256Initial[8] = {
    0x22312194FC2BF72CULL, 0x9F555FA3C84C64C2ULL, 0x2393B86B6F53B151ULL, 0x963877195940EABDULL,
    0x96283EE2A88EFFE3ULL, 0xBE5E1E2553863992ULL, 0x2B0199FC2C85B8AAULL, 0x0EB72DDC81C52CA2ULL};

// One call per block keeps the register allocation of the rounds apart from
// the loop over the blocks.
[[gnu::noinline]] void CompressPortable(uint64_t state[8], const uint8_t* block) {
  Schedule schedule(block);
  RunRounds(state, schedule);
}

#if defined(__x86_64__)

// The same code with VEX three-operand forms and rorx: fewer register copies,
// which is what limits the rounds on wide cores.
[[gnu::noinline]] __attribute__((target("avx,bmi2"))) void CompressAvxBmi2(uint64_t state[8],
                                                                           const uint8_t* block) {
  Schedule schedule(block);
  RunRounds(state, schedule);
}

#endif

Sha512BlockFunction Chosen() {
  if (CpuHasAvx512VlBmi2()) return Sha512BlockAvx512Vl;
  if (CpuHasAvx2Bmi2()) return Sha512BlockAvx2;
  return CpuHasAvxBmi2() ? Sha512BlockAvxBmi2 : Sha512BlockPortable;
}

constinit BlockFunctionChoice<Sha512BlockFunction> g_block{&Chosen};

}  // namespace

void Sha512BlockPortable(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  for (; blocks != 0; --blocks, data += kBlock) CompressPortable(context->state, data);
}

#if defined(__x86_64__)

void Sha512BlockAvxBmi2(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  for (; blocks != 0; --blocks, data += kBlock) CompressAvxBmi2(context->state, data);
}

#else

void Sha512BlockAvxBmi2(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  Sha512BlockPortable(context, data, blocks);
}

#endif

Sha512BlockFunction Sha512CurrentBlockFunction() { return g_block.Get(); }

void Sha512SetBlockFunction(Sha512BlockFunction function) { g_block.Set(function); }

void Sha512Block(SHA512_CONTEXT* context, const uint8_t* data, uint64_t blocks) {
  g_block.Get()(context, data, blocks);
}

int Sha512Init(SHA512_CONTEXT* context) { return Sha2Start(context, kSha512Initial); }

int Sha384Init(SHA512_CONTEXT* context) { return Sha2Start(context, kSha384Initial); }

int Sha512_256Init(SHA512_CONTEXT* context) { return Sha2Start(context, kSha512_256Initial); }

int Sha512Update(SHA512_CONTEXT* context, const void* data, uint64_t length) {
  if (context == nullptr || data == nullptr) return 1;
  DigestAbsorb<kBlock>(context->buffer, context->buffered, static_cast<const uint8_t*>(data),
                       length, [context](const uint8_t* blocks, uint64_t count) {
                         Sha512Block(context, blocks, count);
                         context->processed += count * kBlock;
                       });
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
  if (data == nullptr || output == nullptr) return 1;
  if (output_size < kSha512_256DigestSize) return 2;
  SHA512_CONTEXT context;
  if (Sha512_256Init(&context) != 0 || Sha512Update(&context, data, length) != 0) return 1;
  return Sha512Finish(&context, output, output_size, kSha512_256DigestSize);
}
