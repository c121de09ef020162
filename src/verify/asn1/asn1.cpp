#include "verify/asn1/asn1.h"

#include <utility>

#include "verify/asn1/asn1_end_index.h"

ASN1::ASN1(uint8_t tag) {
  if (!Build(tag, {})) tag_ = 0;
}

ASN1::ASN1(uint8_t tag, const ByteArray& value) {
  if (!Build(tag, value.AsSpan())) tag_ = 0;
}

ASN1::ASN1(ASN1&& other) noexcept
    : tag_(other.tag_),
      flags_(other.flags_),
      value_(std::move(other.value_)),
      encoding_(std::move(other.encoding_)),
      children_(std::move(other.children_)) {
  other.tag_ = 0;
  other.flags_ = 0;
}

ASN1& ASN1::operator=(ASN1&& other) noexcept {
  if (this == &other) return *this;
  ReleaseChildren();
  tag_ = other.tag_;
  flags_ = other.flags_;
  value_ = std::move(other.value_);
  encoding_ = std::move(other.encoding_);
  children_ = std::move(other.children_);
  other.tag_ = 0;
  other.flags_ = 0;
  return *this;
}

ASN1::~ASN1() { ReleaseChildren(); }

void ASN1::ReleaseChildren() {
  // Grandchildren are moved onto one flat work list, so destroying a deep tree
  // never recurses. Should that list fail to grow, the rest goes recursively.
  if (children_.IsEmpty()) return;
  CArrayNoThrow<ASN1, const ASN1&> work = std::move(children_);
  while (!work.IsEmpty()) {
    const int64_t last = work.GetSize() - 1;
    if (work[last].children_.IsEmpty()) {
      (void)work.SetSize(last);
      continue;
    }
    CArrayNoThrow<ASN1, const ASN1&> grand = std::move(work[last].children_);
    const int64_t base = work.GetSize();
    if (!work.SetSize(base + grand.GetSize())) continue;
    for (int64_t i = 0; i < grand.GetSize(); ++i) work[base + i] = std::move(grand[i]);
  }
}

int ASN1::CopyFrom(const ASN1& other) {
  if (this == &other) return 1;
  // Copied level by level through a work list: hostile nesting must not
  // turn into recursion. Each children array is sized once, so the pointers
  // on the list stay valid.
  ASN1 copy;
  copy.CopyShallow(other);
  struct Pending {
    ASN1* to;
    const ASN1* from;
  };
  CArrayNoThrow<Pending> work;
  if (!work.Add(Pending{&copy, &other})) return 0;
  while (!work.IsEmpty()) {
    const Pending next = work[work.GetSize() - 1];
    if (!work.SetSize(work.GetSize() - 1)) return 0;
    const int64_t count = next.from->children_.GetSize();
    if (count == 0) continue;
    if (!next.to->children_.SetSize(count)) return 0;
    for (int64_t i = 0; i < count; ++i) {
      next.to->children_[i].CopyShallow(next.from->children_[i]);
      if (!work.Add(Pending{&next.to->children_[i], &next.from->children_[i]})) return 0;
    }
  }
  *this = std::move(copy);
  return 1;
}

void ASN1::CopyShallow(const ASN1& other) {
  tag_ = other.tag_;
  flags_ = other.flags_;
  value_ = other.value_;
  encoding_ = other.encoding_;
}

CountedPtr<ASN1> ASN1::Parse(const ByteArray& input, bool decode_all) {
  CountedPtr<ASN1> root = MakeCounted<ASN1>();
  if (root.IsEmpty() || !root->Load(input, decode_all)) return {};
  return root;
}

int ASN1::Load(const ByteArray& input, bool decode_all) {
  const std::span<const uint8_t> bytes = input.AsSpan();
  if (bytes.size() < 2) return 0;
  int64_t length = 0;
  int length_octets = 0;
  bool indefinite = false;
  if (!DecodeLength(bytes.subspan(1), length, length_octets, indefinite)) return 0;
  const int64_t header = 1 + length_octets;
  const int64_t available = static_cast<int64_t>(bytes.size()) - header;
  Asn1EndIndex ends;
  if (indefinite) {
    if (!ends.Find(bytes.subspan(static_cast<size_t>(header)), length)) return 0;
  } else if (length > available) {
    return 0;
  }
  ReleaseChildren();
  tag_ = bytes[0];
  flags_ = indefinite ? kFlagIndefinite : 0;
  encoding_ = input;
  value_ = ByteArray(input, header, length);
  return DecodeWith(decode_all, ends);
}

int ASN1::EnsureDecoded(bool decode_all) {
  if ((flags_ & kFlagDecoded) != 0) return 1;
  if (IsConstructed() && !Decode(decode_all)) return 0;
  flags_ = static_cast<uint8_t>((flags_ & ~kFlagStale) | kFlagDecoded);
  return 1;
}

int ASN1::Decode(bool decode_all) {
  Asn1EndIndex ends;
  return DecodeWith(decode_all, ends);
}

int ASN1::DecodeWith(bool decode_all, Asn1EndIndex& ends) {
  if (!IsConstructed()) {
    flags_ |= kFlagDecoded;
    return 1;
  }
  CArrayNoThrow<DecodeNode> stack;
  if (!stack.Add(DecodeNode{0, 1, this})) return 0;
  while (!stack.IsEmpty()) {
    const DecodeNode entry = stack[stack.GetSize() - 1];
    if (!stack.SetSize(stack.GetSize() - 1)) return 0;
    ASN1& node = *entry.node;
    if ((node.flags_ & kFlagStale) != 0 && !node.RebuildEncoding()) return 0;
    if (node.encoding_.IsEmpty()) return 0;
    // Checked before anything else so that the depth limit holds even for an
    // innermost element without content.
    if (entry.level > kMaxDepth) return 0;
    if (entry.offset + 1 < value_.GetLength() &&
        !node.DecodeChildren(entry.offset, entry.level, decode_all, ends, stack)) {
      return 0;
    }
    node.flags_ |= kFlagDecoded;
  }
  flags_ |= kFlagDecoded;
  return 1;
}

int ASN1::DecodeChildren(int64_t offset, int64_t level, bool decode_all, Asn1EndIndex& ends,
                         CArrayNoThrow<DecodeNode>& stack) {
  struct Span {
    int64_t start;
    int64_t header;
    int64_t length;
    bool indefinite;
  };
  const std::span<const uint8_t> content = value_.AsSpan();
  const int64_t size = static_cast<int64_t>(content.size());
  CArrayNoThrow<Span> spans;
  for (int64_t pos = 0; size - pos >= 2;) {
    int64_t length = 0;
    int length_octets = 0;
    bool indefinite = false;
    const uint8_t tag = content[static_cast<size_t>(pos)];
    if (!DecodeLength(content.subspan(static_cast<size_t>(pos) + 1), length, length_octets,
                      indefinite)) {
      return 0;
    }
    const int64_t header = 1 + length_octets;
    const int64_t available = size - pos - header;
    if (indefinite) {
      if (!ends.Find(content.subspan(static_cast<size_t>(pos + header)), length)) return 0;
    } else if (length > available) {
      return 0;
    }
    if (!spans.Add(Span{pos, header, length, indefinite})) return 0;
    pos += header + length;
    // The end-of-contents marker closes the list (of an indefinite value, or
    // early inside a definite one).
    if (tag == 0) break;
  }
  children_.RemoveAll();
  if (!children_.SetSize(spans.GetSize())) return 0;
  for (int64_t i = 0; i < spans.GetSize(); ++i) {
    const Span& span = spans[i];
    ASN1& child = children_[i];
    child.tag_ = content[static_cast<size_t>(span.start)];
    child.flags_ = span.indefinite ? kFlagIndefinite : 0;
    child.encoding_ = ByteArray(value_, span.start, span.header + span.length);
    child.value_ = ByteArray(value_, span.start + span.header, span.length);
    if (!child.IsConstructed()) {
      child.flags_ |= kFlagDecoded;
    } else if (decode_all || span.indefinite) {
      if (!stack.Add(DecodeNode{offset + span.start + span.header, level + 1, &child})) return 0;
    }
  }
  return 1;
}

ASN1* ASN1::GetChildIfTag(int64_t i, uint8_t tag) {
  if (!HasChild(i) || children_[i].tag_ != tag) return nullptr;
  return &children_[i];
}

const ASN1* ASN1::GetChildIfTag(int64_t i, uint8_t tag) const {
  if (!HasChild(i) || children_[i].tag_ != tag) return nullptr;
  return &children_[i];
}

int ASN1::AddChild(const ASN1& child) {
  flags_ |= kFlagStale;
  return children_.Add(child);
}

int ASN1::AddChild(ASN1&& child) {
  flags_ |= kFlagStale;
  const int64_t at = children_.GetSize();
  if (!children_.SetSize(at + 1)) return 0;
  children_[at] = std::move(child);
  return 1;
}
