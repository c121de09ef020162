#include "platform/util/scrambler.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::array<uint8_t, 11> kT11 = {0x61, 0x33, 0x92, 0xD8, 0xF7, 0x54,
                                          0xC0, 0x02, 0xCD, 0x97, 0x29};
constexpr std::array<uint8_t, 13> kT13 = {0x2B, 0xD7, 0xA3, 0xB3, 0x90, 0xDD, 0x40,
                                          0x5A, 0xF9, 0x7E, 0xB6, 0x8B, 0xC5};
constexpr std::array<uint8_t, 17> kT17 = {0x4E, 0xFF, 0x48, 0xFE, 0x48, 0x8B, 0x43, 0xE6, 0x81,
                                          0x82, 0x00, 0x01, 0xC9, 0xC1, 0x79, 0x68, 0xE3};
constexpr std::array<uint8_t, 23> kT23 = {0xDA, 0x51, 0xAC, 0xC1, 0xB9, 0x46, 0x15, 0xEA,
                                          0xAC, 0x15, 0xB0, 0xAD, 0x2E, 0x82, 0xA0, 0x43,
                                          0x16, 0x98, 0x67, 0xCA, 0x32, 0x07, 0xBC};
constexpr std::array<uint8_t, 29> kT29 = {
    0xE2, 0xDE, 0x2A, 0xC1, 0x1F, 0xCB, 0x66, 0x13, 0x47, 0x37, 0x9D, 0x50, 0x3C, 0x32, 0xF8,
    0x85, 0x5E, 0xFC, 0x6C, 0x2F, 0x2A, 0x99, 0x5E, 0x74, 0x69, 0x2F, 0xC7, 0x75, 0xB2};
constexpr std::array<uint8_t, 31> kT31 = {
    0x12, 0x12, 0xB3, 0x67, 0xDE, 0x49, 0x9A, 0xCA, 0x23, 0x35, 0x23, 0xBD, 0xA8, 0xFE, 0x66, 0x26,
    0xA0, 0x1D, 0xE3, 0x6E, 0x0C, 0x53, 0x7C, 0xB3, 0x9F, 0x0C, 0xC0, 0x5D, 0xF2, 0x67, 0x54};

// Position index into one table; it wraps instead of dividing for every byte.
class TableCursor {
 public:
  TableCursor(std::span<const uint8_t> table, uint64_t start)
      : table_(table), index_(static_cast<size_t>(start % table.size())) {}

  uint8_t Next() {
    uint8_t value = table_[index_];
    if (++index_ == table_.size()) index_ = 0;
    return value;
  }

 private:
  std::span<const uint8_t> table_;
  size_t index_;
};

}  // namespace

std::span<const uint8_t> ScrambleKeyTable(int index) {
  switch (index) {
    case 0:
      return kT11;
    case 1:
      return kT13;
    case 2:
      return kT17;
    case 3:
      return kT23;
    case 4:
      return kT29;
    case 5:
      return kT31;
    default:
      return {};
  }
}

void ScrambleBytes(void* buffer, uint64_t start_offset, uint64_t length) {
  if (length == 0) return;
  TableCursor t11(kT11, start_offset), t13(kT13, start_offset), t17(kT17, start_offset);
  TableCursor t23(kT23, start_offset), t29(kT29, start_offset), t31(kT31, start_offset);
  auto* bytes = static_cast<uint8_t*>(buffer);
  for (uint64_t i = 0; i < length; ++i) {
    bytes[i] ^= t11.Next() ^ t13.Next() ^ t17.Next() ^ t23.Next() ^ t29.Next() ^ t31.Next();
  }
}
