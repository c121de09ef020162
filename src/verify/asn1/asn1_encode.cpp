#include <cstring>
#include <memory>
#include <new>

#include "verify/asn1/asn1.h"

namespace {

constexpr uint8_t kIndefiniteLength = 0x80;

// Octets of the definite length field for a content of `length` octets.
int64_t LengthFieldSize(int64_t length) {
  if (length < 0x80) return 1;
  if (length < 0x100) return 2;
  if (length < 0x10000) return 3;
  if (length <= 0xFFFFFF) return 4;
  return 5;
}

// Writes tag and length field into header (room for 6 octets); returns its size.
int64_t WriteHeader(uint8_t* header, uint8_t tag, int64_t length, bool indefinite) {
  header[0] = tag;
  if (indefinite) {
    header[1] = kIndefiniteLength;
    return 2;
  }
  const int64_t field = LengthFieldSize(length);
  if (field == 1) {
    header[1] = static_cast<uint8_t>(length);
    return 2;
  }
  header[1] = static_cast<uint8_t>(kIndefiniteLength + field - 1);
  for (int64_t i = 0; i < field - 1; ++i) {
    header[2 + i] = static_cast<uint8_t>(length >> (8 * (field - 2 - i)));
  }
  return 1 + field;
}

}  // namespace

int ASN1::Build(uint8_t tag, std::span<const uint8_t> value) {
  tag_ = tag;
  flags_ = tag == 0 ? (kFlagDecoded | kFlagIndefinite) : kFlagDecoded;
  const int64_t length = static_cast<int64_t>(value.size());
  uint8_t header[6];
  const int64_t header_size = WriteHeader(header, tag, length, false);
  if (!encoding_.SetSize(header_size + length)) return 0;
  std::memcpy(encoding_.GetData(), header, static_cast<size_t>(header_size));
  if (length > 0) std::memcpy(encoding_.GetData() + header_size, value.data(), value.size());
  value_ = ByteArray(encoding_, header_size, length);
  return 1;
}

int64_t ASN1::GetEncodedLength(bool with_header) const {
  int64_t length = 0;
  if (children_.IsEmpty()) {
    length = value_.GetLength();
  } else {
    for (const ASN1& child : children_) length += child.GetEncodedLength(true);
  }
  if (!with_header) return length;
  return length + 1 + LengthFieldSize(length);
}

int ASN1::AppendEncoding(const ASN1& node, ByteStorage& out) {
  ByteStorage element;
  if (!Encode(node, element)) return 0;
  return out.Append(element);
}

int ASN1::Encode(const ASN1& node, ByteStorage& out) {
  if ((node.flags_ & kFlagStale) == 0) {
    const std::span<const uint8_t> bytes = node.encoding_.AsSpan();
    if (!out.SetSize(static_cast<int64_t>(bytes.size()))) return 0;
    if (!bytes.empty()) std::memcpy(out.GetData(), bytes.data(), bytes.size());
    return 1;
  }
  if (node.tag_ == 0) {
    if (!out.SetSize(2)) return 0;
    out[0] = 0;
    out[1] = 0;
    return 1;
  }
  ByteStorage content;
  if (node.children_.IsEmpty()) {
    const std::span<const uint8_t> value = node.value_.AsSpan();
    if (!value.empty()) {
      if (!content.SetSize(static_cast<int64_t>(value.size()))) return 0;
      std::memcpy(content.GetData(), value.data(), value.size());
    }
  } else {
    (void)content.SetSize(0, node.GetEncodedLength(false) + 6);
    for (const ASN1& child : node.children_) {
      if (!AppendEncoding(child, content)) return 0;
    }
  }
  uint8_t header[6];
  const bool indefinite = (node.flags_ & kFlagIndefinite) != 0;
  const int64_t header_size = WriteHeader(header, node.tag_, content.GetSize(), indefinite);
  if (!content.MakeRoomAtFront(header_size)) return 0;
  std::memcpy(content.GetData(), header, static_cast<size_t>(header_size));
  out = std::move(content);
  return 1;
}

int ASN1::RebuildEncoding() {
  auto fresh = std::unique_ptr<ByteStorage>(new (std::nothrow) ByteStorage());
  if (fresh == nullptr || !Encode(*this, *fresh)) return 0;
  ByteArray encoding;
  if (!encoding.Attach(std::move(fresh))) return 0;
  encoding_ = std::move(encoding);
  flags_ = static_cast<uint8_t>(flags_ & ~kFlagStale);
  return 1;
}

const ByteArray& ASN1::GetEncoded() {
  static const ByteArray kNone;
  if ((flags_ & kFlagStale) != 0 && !RebuildEncoding()) return kNone;
  return encoding_;
}

const ByteArray& ASN1::GetValue() {
  if (value_.IsEmpty() && (flags_ & kFlagStale) != 0) (void)RebuildEncoding();
  return value_;
}

int ASN1::Equals(ASN1& other) {
  const ByteArray& mine = GetEncoded();
  const ByteArray& theirs = other.GetEncoded();
  if (mine.IsEmpty()) return 0;
  return mine.Equals(theirs);
}
