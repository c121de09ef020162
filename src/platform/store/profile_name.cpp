#include "platform/store/profile_name.h"

#include <array>

namespace {

// The INI code keeps its own copy of the reflected CRC-32 table (polynomial
// 0xEDB88320), so that name hashing needs nothing beyond this file.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < table.size(); ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
    table[i] = value;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Drops one leading quote, as a stored or requested name may carry one.
std::string_view DropLeadingQuote(std::string_view name) {
  if (!name.empty() && name.front() == '"') name.remove_prefix(1);
  return name;
}

bool EndsHere(std::string_view name, size_t i) { return i >= name.size() || name[i] == '"'; }

}  // namespace

uint32_t ProfileNameCrc(std::string_view name) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : name) {
    if (c == '"') continue;
    const auto byte = static_cast<uint8_t>(AsciiUpper(c));
    crc = kCrcTable[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
  }
  return ~crc;
}

bool ProfileNameEquals(std::string_view stored, uint32_t stored_crc, std::string_view requested,
                       uint32_t requested_crc) {
  if (stored_crc != requested_crc) return false;
  stored = DropLeadingQuote(stored);
  requested = DropLeadingQuote(requested);
  if (EndsHere(stored, 0)) return EndsHere(requested, 0);
  size_t i = 0;
  for (; !EndsHere(stored, i); ++i) {
    if (i >= requested.size() || AsciiUpper(stored[i]) != AsciiUpper(requested[i])) return false;
  }
  return EndsHere(requested, i);
}
