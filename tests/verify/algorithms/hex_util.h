#pragma once

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "verify/algorithms/big_integer.h"

namespace upd::test {

inline std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> out;
  std::string padded(hex.size() % 2 ? "0" : "");
  padded.append(hex);
  for (size_t i = 0; i + 1 < padded.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(padded.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

// A number of exactly `limbs` limbs holding the big-endian hex value.
inline BigInteger NumberFromHex(std::string_view hex, uint32_t limbs) {
  BigInteger n;
  std::vector<uint8_t> bytes = FromHex(hex);
  std::vector<uint8_t> padded(limbs * 8 > bytes.size() ? limbs * 8 - bytes.size() : 0, 0);
  padded.insert(padded.end(), bytes.begin(), bytes.end());
  if (!n.SetLimbCount(limbs) || !n.FromBytesBE(padded) || n.GetLimbCount() != limbs) std::abort();
  return n;
}

// All limbs, big-endian, 16 hex digits each.
inline std::string NumberToHex(const BigInteger& n) {
  std::vector<uint8_t> bytes(n.GetByteSize());
  if (!n.ToBytesBE(bytes)) return "?";
  return ToHex(bytes);
}

}  // namespace upd::test
