#pragma once

#include <cstdint>
#include <cstring>

// Mechanics the block digests share.

// Feeds input to a block digest: tops up a partly filled buffer, runs whole
// blocks straight from the input, and keeps the tail for the next call.
// blocks(data, count) processes count whole blocks and keeps the digest's own
// count of them; buffered is the number of bytes held in buffer.
template <uint64_t kBlock, typename Blocks>
void DigestAbsorb(uint8_t* buffer, uint64_t& buffered, const uint8_t* in, uint64_t length,
                  Blocks blocks) {
  if (buffered != 0) {
    uint64_t take = kBlock - buffered;
    if (take > length) take = length;
    std::memcpy(buffer + buffered, in, take);
    buffered += take;
    in += take;
    length -= take;
    if (buffered < kBlock) return;
    blocks(buffer, 1);
    buffered = 0;
  }
  if (const uint64_t count = length / kBlock; count != 0) {
    blocks(in, count);
    in += count * kBlock;
    length -= count * kBlock;
  }
  if (length != 0) {
    std::memcpy(buffer, in, length);
    buffered = length;
  }
}

// The start the SHA-2 contexts share: nothing counted or buffered, and the
// variant's initial state. 1 for a null context, else 0.
template <typename Context, typename Word>
int Sha2Start(Context* context, const Word (&initial)[8]) {
  if (context == nullptr) return 1;
  context->processed = 0;
  context->buffered = 0;
  std::memset(context->buffer, 0, sizeof context->buffer);
  std::memcpy(context->state, initial, sizeof context->state);
  return 0;
}
