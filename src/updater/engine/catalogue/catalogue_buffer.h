#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/util/buffer.h"
#include "updater/engine/common/download_bounds.h"

// A catalogue or its signed form fetched into memory. A server may answer
// with a body of any size (or without end): the download stops such a body
// at kMaxBody, and this buffer refuses to grow past what a catalogue can
// sensibly be whatever fills it, so the server fails with kUpdOutOfMemory instead of
// exhausting the host's memory.
class CCatalogueBuffer : public CBuffer {
 public:
  // The largest body taken: far above any real catalogue.
  static constexpr uint64_t kMaxBody = kMaxDocumentBytes;
  // Storage allowed while growing: the buffer grows by half its size, so a
  // body of kMaxBody may ask for up to half as much again.
  static constexpr size_t kMaxStorage = static_cast<size_t>(kMaxBody + kMaxBody / 2 + 4096);

  void* Realloc(void* pointer, size_t size) override;
};
