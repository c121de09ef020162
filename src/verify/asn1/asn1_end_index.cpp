#include "verify/asn1/asn1_end_index.h"

#include "verify/asn1/asn1.h"

namespace {

// Elements nested deeper than the decoder accepts are never decoded, so their
// ends need not be remembered; deeper levels are only counted.
constexpr int64_t kRecordedDepth = ASN1::kMaxDepth + 1;
constexpr int64_t kFirstTableSize = 64;

size_t Hash(uintptr_t key, int64_t mask) {
  return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 17) & static_cast<size_t>(mask);
}

bool IsEndOfContents(std::span<const uint8_t> content, int64_t pos) {
  return content[pos] == 0 && content[pos + 1] == 0;
}

// Steps over the element at pos: returns the new position, -1 on malformed
// input; sets `opens` for an indefinite header (its content starts at the result).
int64_t StepOver(std::span<const uint8_t> content, int64_t pos, bool& opens) {
  const int64_t size = static_cast<int64_t>(content.size());
  int64_t length = 0;
  int length_octets = 0;
  bool indefinite = false;
  if (!ASN1::DecodeLength(content.subspan(static_cast<size_t>(pos) + 1), length, length_octets,
                          indefinite)) {
    return -1;
  }
  pos += 1 + length_octets;
  opens = indefinite;
  if (indefinite) return pos;
  if (length > size - pos) return -1;
  return pos + length;
}

}  // namespace

int Asn1EndIndex::Walk(std::span<const uint8_t> content, int64_t& length) {
  const int64_t size = static_cast<int64_t>(content.size());
  int64_t nesting = 1;
  int64_t pos = 0;
  while (true) {
    if (size - pos < 2) return 0;
    if (IsEndOfContents(content, pos)) {
      pos += 2;
      if (--nesting == 0) {
        length = pos;
        return 1;
      }
      continue;
    }
    bool opens = false;
    pos = StepOver(content, pos, opens);
    if (pos < 0) return 0;
    if (opens) ++nesting;
  }
}

int Asn1EndIndex::Find(std::span<const uint8_t> content, int64_t& length) {
  if (Lookup(reinterpret_cast<uintptr_t>(content.data()), length)) return 1;
  return WalkAndRecord(content, length);
}

int Asn1EndIndex::WalkAndRecord(std::span<const uint8_t> content, int64_t& length) {
  const int64_t size = static_cast<int64_t>(content.size());
  CArrayNoThrow<int64_t, int64_t> open;  // content starts of the recorded open levels
  int64_t unrecorded = 0;                // open levels below the recorded ones
  if (!open.Add(0)) return 0;
  int64_t pos = 0;
  while (true) {
    if (size - pos < 2) return 0;
    if (IsEndOfContents(content, pos)) {
      pos += 2;
      if (unrecorded > 0) {
        --unrecorded;
        continue;
      }
      const int64_t start = open[open.GetSize() - 1];
      if (!open.SetSize(open.GetSize() - 1)) return 0;
      if (!Insert(reinterpret_cast<uintptr_t>(content.data() + start), pos - start)) return 0;
      if (open.IsEmpty()) {
        length = pos;
        return 1;
      }
      continue;
    }
    bool opens = false;
    pos = StepOver(content, pos, opens);
    if (pos < 0) return 0;
    if (!opens) continue;
    if (open.GetSize() < kRecordedDepth) {
      if (!open.Add(pos)) return 0;
    } else {
      ++unrecorded;
    }
  }
}

bool Asn1EndIndex::Lookup(uintptr_t key, int64_t& length) const {
  if (slots_.IsEmpty()) return false;
  const int64_t mask = slots_.GetSize() - 1;
  for (size_t i = Hash(key, mask);; i = (i + 1) & static_cast<size_t>(mask)) {
    const Entry& entry = slots_[static_cast<int64_t>(i)];
    if (entry.key == 0) return false;
    if (entry.key == key) {
      length = entry.length;
      return true;
    }
  }
}

int Asn1EndIndex::Insert(uintptr_t key, int64_t length) {
  if ((used_ + 1) * 2 > slots_.GetSize() && !Grow()) return 0;
  const int64_t mask = slots_.GetSize() - 1;
  for (size_t i = Hash(key, mask);; i = (i + 1) & static_cast<size_t>(mask)) {
    Entry& entry = slots_[static_cast<int64_t>(i)];
    if (entry.key == key) {
      entry.length = length;
      return 1;
    }
    if (entry.key == 0) {
      entry = {key, length};
      ++used_;
      return 1;
    }
  }
}

int Asn1EndIndex::Grow() {
  const int64_t size = slots_.IsEmpty() ? kFirstTableSize : slots_.GetSize() * 2;
  CArrayNoThrow<Entry> bigger;
  if (!bigger.SetSize(size)) return 0;
  CArrayNoThrow<Entry> old = std::move(slots_);
  slots_ = std::move(bigger);
  used_ = 0;
  for (const Entry& entry : old) {
    if (entry.key != 0 && !Insert(entry.key, entry.length)) return 0;
  }
  return 1;
}
