#include "verify/asn1/asn1.h"
#include "verify/asn1/asn1_end_index.h"

namespace {

constexpr uint8_t kIndefiniteLength = 0x80;
// Four length octets cover every length the readers accept (up to 2 GiB).
constexpr int kMaxLengthOctets = 4;
constexpr int64_t kMaxLength = 0x7FFFFFFF;

}  // namespace

int ASN1::DecodeLength(std::span<const uint8_t> octets, int64_t& length, int& length_octets,
                       bool& indefinite) {
  if (octets.empty()) return 0;
  const uint8_t first = octets[0];
  if (first < kIndefiniteLength) {
    length = first;
    length_octets = 1;
    indefinite = false;
    return 1;
  }
  if (first == kIndefiniteLength) {
    length = 0;
    length_octets = 1;
    indefinite = true;
    return 1;
  }
  const int count = first - kIndefiniteLength;
  if (count > kMaxLengthOctets || static_cast<size_t>(count) > octets.size() - 1) return 0;
  int64_t value = 0;
  for (int i = 1; i <= count; ++i) value = (value << 8) | octets[static_cast<size_t>(i)];
  if (value > kMaxLength) return 0;
  length = value;
  length_octets = 1 + count;
  indefinite = false;
  return 1;
}

int ASN1::FindEndOfContents(std::span<const uint8_t> input, int64_t& position, bool indefinite) {
  const int64_t size = static_cast<int64_t>(input.size());
  if (position < 0 || position > size) return 0;
  if (!indefinite) {
    position = size;
    return 1;
  }
  int64_t length = 0;
  if (!Asn1EndIndex::Walk(input.subspan(static_cast<size_t>(position)), length)) return 0;
  position += length;
  return 1;
}
