#pragma once

#include <cstdint>
#include <span>

#include "verify/asn1/asn1_tags.h"
#include "verify/common/byte_array.h"
#include "verify/common/carray.h"
#include "verify/common/refcount.h"

class Asn1EndIndex;

// One DER/BER element. Its value (content octets) and encoding (the whole
// element) are views into the buffer it was read from, so decoding copies no
// content. Children of a constructed element are decoded on first use unless
// the whole tree is asked for. Every operation reports failure by 0 (or an
// empty pointer); none throws.
class ASN1 {
 public:
  // The stored encoding no longer matches the children and is rebuilt before use.
  static constexpr uint8_t kFlagStale = 1;
  static constexpr uint8_t kFlagIndefinite = 2;
  // The children are decoded (or there is nothing to decode).
  static constexpr uint8_t kFlagDecoded = 4;
  // Nesting deeper than any real certificate or signature needs, so hostile
  // input costs bounded heap for the explicit decoding stack.
  static constexpr int64_t kMaxDepth = 1024;

  ASN1() = default;
  // An empty element of this tag (encoding "tag 00"). When memory runs out the
  // node is left invalid (tag 0).
  explicit ASN1(uint8_t tag);
  // An element with a private copy of the value; invalid (tag 0) when memory runs out.
  ASN1(uint8_t tag, const ByteArray& value);
  ASN1(const ASN1&) = delete;
  ASN1& operator=(const ASN1&) = delete;
  ASN1(ASN1&& other) noexcept;
  ASN1& operator=(ASN1&& other) noexcept;
  ~ASN1();

  // Copies tag and flags, shares the views and copies the children (all levels).
  [[nodiscard]] int CopyFrom(const ASN1& other);

  // Reads one element from the start of input into a new tree.
  [[nodiscard]] static CountedPtr<ASN1> Parse(const ByteArray& input, bool decode_all);
  // Reads one element from the start of input into this node. Octets after the
  // element stay part of the encoding view (a root keeps trailing data).
  [[nodiscard]] int Load(const ByteArray& input, bool decode_all);
  // Decodes the children (all levels when decode_all).
  [[nodiscard]] int Decode(bool decode_all);
  [[nodiscard]] int EnsureDecoded(bool decode_all);

  // Reads the length octets at the start of `octets`: the definite length or
  // the indefinite form, and how many octets the length field took.
  [[nodiscard]] static int DecodeLength(std::span<const uint8_t> octets, int64_t& length,
                                        int& length_octets, bool& indefinite);
  // From `position` in `input`: for a definite element moves to the end of the
  // input; for the indefinite form moves just past the matching 00 00.
  [[nodiscard]] static int FindEndOfContents(std::span<const uint8_t> input, int64_t& position,
                                             bool indefinite);

  bool IsValid() const { return tag_ != 0; }
  uint8_t GetTag() const { return tag_; }
  uint8_t GetFlags() const { return flags_; }
  bool IsConstructed() const { return (tag_ & kAsn1Constructed) != 0; }
  int64_t GetChildCount() const { return children_.GetSize(); }
  bool HasChild(int64_t i) const { return i >= 0 && i < children_.GetSize(); }
  // Child i; the caller tests the index first.
  ASN1* GetChild(int64_t i) { return &children_[i]; }
  const ASN1* GetChild(int64_t i) const { return &children_[i]; }
  // Child i when it exists and carries `tag`, else null.
  ASN1* GetChildIfTag(int64_t i, uint8_t tag);
  const ASN1* GetChildIfTag(int64_t i, uint8_t tag) const;

  // The content octets. A hand-built node with no value gets its encoding
  // rebuilt first.
  const ByteArray& GetValue();
  // The content without rebuilding anything (for read-only callers).
  const ByteArray& Value() const { return value_; }
  std::span<const uint8_t> ValueSpan() const { return value_.AsSpan(); }
  int64_t GetValueLength() const { return value_.GetLength(); }
  [[nodiscard]] int ValueEquals(const ByteArray& other) const { return value_.Equals(other); }
  [[nodiscard]] int ValueEquals(int64_t length, const void* bytes) const {
    return value_.Equals(length, bytes);
  }

  // The stored encoding as it is (no rebuild; a root's view runs to the end of its input).
  const ByteArray& Encoding() const { return encoding_; }
  // The whole element, re-encoded first when stale; an empty view when that fails.
  const ByteArray& GetEncoded();
  int64_t GetEncodedLength(bool with_header) const;
  // 1 when both (fresh) encodings are non-empty and byte-equal.
  [[nodiscard]] int Equals(ASN1& other);

  // Appends a copy of child (or takes it over) and marks this node's encoding stale.
  [[nodiscard]] int AddChild(const ASN1& child);
  [[nodiscard]] int AddChild(ASN1&& child);

  // Writes the element into out (replacing its content).
  [[nodiscard]] static int Encode(const ASN1& node, ByteStorage& out);

 private:
  struct DecodeNode {
    int64_t offset;  // content start, counted from the start of the value being decoded
    int64_t level;   // 1 for the node on which decoding started
    ASN1* node;
  };

  [[nodiscard]] int Build(uint8_t tag, std::span<const uint8_t> value);
  // Tag, flags and views, without the children.
  void CopyShallow(const ASN1& other);
  [[nodiscard]] int RebuildEncoding();
  [[nodiscard]] int DecodeWith(bool decode_all, Asn1EndIndex& ends);
  [[nodiscard]] int DecodeChildren(int64_t offset, int64_t level, bool decode_all,
                                   Asn1EndIndex& ends, CArrayNoThrow<DecodeNode>& stack);
  [[nodiscard]] static int AppendEncoding(const ASN1& node, ByteStorage& out);
  // Tears the subtree down without recursion.
  void ReleaseChildren();

  uint8_t tag_ = 0;
  uint8_t flags_ = 0;
  ByteArray value_;
  ByteArray encoding_;
  CArrayNoThrow<ASN1, const ASN1&> children_;
};
