#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/util/buffer.h"
#include "repository/json/json_document.h"

namespace wexajson {

// Appends nodes to an image buffer through a cursor into reserved room, so a
// node costs a bounds check and plain stores rather than a call per field.
class ImageBuilder {
 public:
  explicit ImageBuilder(CBuffer& image) : image_(image) {}
  ImageBuilder(const ImageBuilder&) = delete;
  ImageBuilder& operator=(const ImageBuilder&) = delete;

  // Room for n more bytes at the cursor; false when memory runs out or the
  // image would outgrow 32-bit offsets.
  [[nodiscard]] bool Ensure(size_t n) {
    return static_cast<size_t>(limit_ - cursor_) >= n || Grow(n);
  }
  // Offset of the next byte written.
  uint32_t Offset() const {
    return static_cast<uint32_t>(image_.Length() + static_cast<uint64_t>(cursor_ - start_));
  }
  // Address of a byte already written; valid until the next Ensure.
  uint8_t* At(uint32_t offset) { return image_.Data() + offset; }

  void PutByte(uint8_t b) { *cursor_++ = b; }
  void PutU32(uint32_t v) {
    StoreU32(cursor_, v);
    cursor_ += 4;
  }
  void PutBytes(const void* data, size_t n) {
    if (n == 0) return;
    std::memcpy(cursor_, data, n);
    cursor_ += n;
  }

  // Takes everything written into the buffer's length.
  [[nodiscard]] bool Finish();

 private:
  bool Grow(size_t n);

  CBuffer& image_;
  uint8_t* start_ = nullptr;   // first byte not yet committed
  uint8_t* cursor_ = nullptr;  // next byte to write
  uint8_t* limit_ = nullptr;   // end of the usable room
};

}  // namespace wexajson
