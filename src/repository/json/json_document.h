#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "platform/util/buffer.h"

namespace wexajson {

static_assert(std::endian::native == std::endian::little,
              "the document image is read with native little-endian loads");

// Node tags: the first byte of every node of the image.
enum class Tag : uint8_t {
  kBool = 0,
  kInt = 1,
  kDouble = 2,
  kString = 3,
  kArray = 4,
  kObject = 5,
  kNull = 6,
  kUndefined = 7,
};

// Image layout: a header {u32 kHeaderMark, u32 root offset}, the nodes (every
// container after its children), then the end record {kEndTag, u32 length of
// the image before it}. All integers little-endian, unaligned.
inline constexpr uint32_t kHeaderMark = 4;
inline constexpr uint32_t kHeaderSize = 8;
inline constexpr uint8_t kEndTag = 0xFF;
inline constexpr uint32_t kEndRecordSize = 5;
// Offset of "no node". Offsets are 32-bit, so an image (with its end record)
// stays below this.
inline constexpr uint32_t kNoNode = 0xFFFFFFFF;
inline constexpr uint64_t kMaxImageLength = kNoNode - kEndRecordSize;

// Objects from this member count on carry a member index sorted by key; below
// it the pair table is at most 256 bytes and a linear scan is as quick.
inline constexpr uint32_t kIndexedMembers = 33;

// Node sizes: tag, then the payload.
inline constexpr uint32_t kScalarNodeSize = 9;     // tag + i64 or double
inline constexpr uint32_t kCountedNodeHeader = 5;  // tag + u32 length or count
inline constexpr uint32_t kPairSize = 8;           // u32 key offset, u32 value offset

inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline int64_t LoadI64(const uint8_t* p) {
  int64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline double LoadF64(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StoreU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Width in bytes of one member-index entry for an object of n members.
inline uint32_t IndexEntryWidth(uint32_t members) {
  if (members <= 0x100) return 1;
  if (members <= 0x10000) return 2;
  return 4;
}

// The text of the string node at offset (its bytes, without the NUL that
// follows them in the image).
inline std::string_view StringNodeText(const uint8_t* image, uint32_t offset) {
  return {reinterpret_cast<const char*>(image + offset + kCountedNodeHeader),
          LoadU32(image + offset + 1)};
}

// The member order of the index: shorter keys first, keys of equal length by
// their bytes. Negative, zero or positive as a sorts before, with or after b.
inline int KeyCompare(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}
inline bool KeyLess(std::string_view a, std::string_view b) { return KeyCompare(a, b) < 0; }

// A parsed document: the image in one buffer, never changed after the parse.
class Document {
 public:
  Document() = default;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  CBuffer& Buffer() { return image_; }
  const uint8_t* Bytes() const { return image_.Data(); }
  std::span<const uint8_t> Image() const {
    return {image_.Data(), static_cast<size_t>(image_.Length())};
  }
  uint32_t Root() const { return LoadU32(image_.Data() + 4); }

 private:
  CBuffer image_;
};

}  // namespace wexajson
