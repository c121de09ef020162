#include "verify/asn1/oid_text.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <span>

#include "verify/asn1/asn1_tags.h"

namespace {

constexpr uint8_t kContinuation = 0x80;
// One more 7-bit group on an accumulator this large would pass 32 bits.
constexpr uint64_t kLastShiftLimit = uint64_t{1} << 25;
// The arcs that a text may name; larger ones do not fit the readers' 31 bits.
constexpr int64_t kMaxTextArc = 2147483647;
// The element must keep a one-octet length.
constexpr int64_t kMaxOidContent = 125;
// The first group carries 40 * first + second; first arcs 0 and 1 take second arcs below 40.
constexpr uint64_t kArcsPerFirst = 40;
constexpr uint64_t kFirstArcTwoBase = 80;
// Room for one formatted arc (".4294967295") with plenty to spare.
constexpr size_t kScratchSize = 100;

// Calls emit(arc) for every arc of the DER content, the first group split into
// the first two arcs. Strict mode refuses leading zero groups, arcs beyond 32
// bits and an unfinished group.
template <class Emit>
bool ForEachArc(std::span<const uint8_t> content, bool strict, Emit&& emit) {
  if (content.empty()) return false;
  uint64_t accumulator = 0;
  bool in_group = false;
  bool first = true;
  for (const uint8_t octet : content) {
    if (strict && !in_group && octet == kContinuation) return false;
    if (strict && accumulator >= kLastShiftLimit) return false;
    accumulator = ((accumulator << 7) | (octet & 0x7F)) & 0xFFFFFFFFu;
    in_group = true;
    if ((octet & kContinuation) != 0) continue;
    const uint32_t arc = static_cast<uint32_t>(accumulator);
    if (first) {
      const bool low = arc < kFirstArcTwoBase;
      if (!emit(low ? arc / kArcsPerFirst : 2) ||
          !emit(low ? arc % kArcsPerFirst : arc - kFirstArcTwoBase)) {
        return false;
      }
      first = false;
    } else if (!emit(arc)) {
      return false;
    }
    accumulator = 0;
    in_group = false;
  }
  return !strict || !in_group;
}

}  // namespace

int OidToText(const ASN1& node, char* buffer, int64_t& size) {
  const int64_t capacity = size;
  int64_t length = 0;
  bool first = true;
  const bool ok = ForEachArc(node.ValueSpan(), true, [&](uint32_t arc) {
    char scratch[kScratchSize];
    const int n = std::snprintf(scratch, sizeof scratch, first ? "%u" : ".%u", arc);
    first = false;
    if (n < 0) return false;
    if (buffer != nullptr) {
      if (length + n + 1 > capacity) return false;
      std::memcpy(buffer + length, scratch, static_cast<size_t>(n) + 1);
    }
    length += n;
    return true;
  });
  if (!ok) return 0;
  size = length;
  return 1;
}

int OidToText(const ASN1& node, Oid& oid) {
  int64_t length = 0;
  if (!OidToText(node, nullptr, length)) return 0;
  Oid text;
  if (!text.Reserve(static_cast<uint64_t>(length) + 1)) return 0;
  int64_t size = length + 1;
  if (!OidToText(node, text.GetBuffer(), size)) return 0;
  oid = std::move(text);
  return 1;
}

int OidToWideText(const ASN1& node, std::unique_ptr<wchar_t[]>& text) {
  int64_t length = 0;
  bool first = true;
  const auto count = [&](uint32_t arc) {
    wchar_t scratch[kScratchSize];
    const int n = std::swprintf(scratch, kScratchSize, first ? L"%u" : L".%u", arc);
    first = false;
    if (n < 0) return false;
    length += n;
    return true;
  };
  if (!ForEachArc(node.ValueSpan(), false, count)) return 0;
  std::unique_ptr<wchar_t[]> fresh(new (std::nothrow) wchar_t[static_cast<size_t>(length) + 1]);
  if (fresh == nullptr) return 0;
  int64_t written = 0;
  first = true;
  const auto write = [&](uint32_t arc) {
    const size_t room = static_cast<size_t>(length + 1 - written);
    const int n = std::swprintf(fresh.get() + written, room, first ? L"%u" : L".%u", arc);
    first = false;
    if (n < 0) return false;
    written += n;
    return true;
  };
  if (!ForEachArc(node.ValueSpan(), false, write)) return 0;
  fresh[written] = L'\0';
  text = std::move(fresh);
  return 1;
}

namespace {

// A plain decimal arc; signs, letters and white space are refused so that a
// mistyped text cannot silently become a different OID.
bool ParseArc(const char* piece, size_t length, int64_t& value) {
  if (length == 0) return false;
  value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (piece[i] < '0' || piece[i] > '9') return false;
    value = value * 10 + (piece[i] - '0');
    if (value > kMaxTextArc) return false;
  }
  return true;
}

bool PutArc(uint8_t* content, int64_t& length, uint64_t arc) {
  uint8_t groups[10];
  int count = 0;
  do {
    groups[count++] = static_cast<uint8_t>(arc & 0x7F);
    arc >>= 7;
  } while (arc != 0);
  if (length + count > kMaxOidContent) return false;
  for (int i = count - 1; i >= 0; --i) {
    content[length++] = static_cast<uint8_t>(groups[i] | (i > 0 ? kContinuation : 0));
  }
  return true;
}

}  // namespace

int TextToOid(const char* text, ByteArray& out) {
  if (text == nullptr || std::strlen(text) < 3) return 0;
  uint8_t content[kMaxOidContent];
  int64_t length = 0;
  int64_t pieces = 0;
  int64_t first = 0;
  for (const char* p = text; *p != '\0';) {
    const size_t piece_length = std::strcspn(p, ".");
    if (piece_length > 0) {
      int64_t arc = 0;
      if (!ParseArc(p, piece_length, arc)) return 0;
      if (pieces == 0) {
        if (arc > 2) return 0;
        first = arc;
      } else if (pieces == 1) {
        if (first < 2 && arc >= static_cast<int64_t>(kArcsPerFirst)) return 0;
        if (!PutArc(content, length, static_cast<uint64_t>(first * 40 + arc))) return 0;
      } else if (!PutArc(content, length, static_cast<uint64_t>(arc))) {
        return 0;
      }
      ++pieces;
    }
    p += piece_length;
    if (*p == '.') ++p;
  }
  if (pieces < 2) return 0;
  auto element = std::unique_ptr<ByteStorage>(new (std::nothrow) ByteStorage());
  if (element == nullptr || !element->SetSize(length + 2)) return 0;
  (*element)[0] = kAsn1Oid;
  (*element)[1] = static_cast<uint8_t>(length);
  std::memcpy(element->GetData() + 2, content, static_cast<size_t>(length));
  ByteArray result;
  if (!result.Attach(std::move(element))) return 0;
  out = std::move(result);
  return 1;
}
