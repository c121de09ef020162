#pragma once

#include <cstdint>
#include <cstring>

// Feeds input to a block digest whose context keeps {processed, buffered,
// buffer}: tops up a partly filled buffer, runs whole blocks straight from the
// input, and keeps the tail for the next call. BlockFn is
// void(Context*, const uint8_t* data, uint64_t blocks).
template <uint64_t kBlock, typename Context, typename BlockFn>
void DigestAbsorb(Context* context, const uint8_t* in, uint64_t length, BlockFn block) {
  if (context->buffered != 0) {
    uint64_t take = kBlock - context->buffered;
    if (take > length) take = length;
    std::memcpy(context->buffer + context->buffered, in, take);
    context->buffered += take;
    in += take;
    length -= take;
    if (context->buffered < kBlock) return;
    block(context, context->buffer, 1);
    context->processed += kBlock;
    context->buffered = 0;
  }
  if (const uint64_t blocks = length / kBlock; blocks != 0) {
    block(context, in, blocks);
    context->processed += blocks * kBlock;
    in += blocks * kBlock;
    length -= blocks * kBlock;
  }
  if (length != 0) {
    std::memcpy(context->buffer, in, length);
    context->buffered = length;
  }
}
