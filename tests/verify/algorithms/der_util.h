#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "verify/algorithms/hex_util.h"

namespace upd::test {

// DER INTEGER content: minimal, with a zero byte when the top bit is set.
inline std::vector<uint8_t> IntegerContent(const std::string& hex) {
  std::vector<uint8_t> bytes = FromHex(hex);
  size_t skip = 0;
  while (skip + 1 < bytes.size() && bytes[skip] == 0) ++skip;
  std::vector<uint8_t> out(bytes.begin() + static_cast<std::ptrdiff_t>(skip), bytes.end());
  if (out[0] & 0x80) out.insert(out.begin(), 0);
  return out;
}

inline void AppendElement(uint8_t tag, const std::vector<uint8_t>& content,
                          std::vector<uint8_t>& out) {
  out.push_back(tag);
  if (content.size() >= 128) out.push_back(0x81);
  out.push_back(static_cast<uint8_t>(content.size()));
  out.insert(out.end(), content.begin(), content.end());
}

inline std::vector<uint8_t> DerSignature(const std::string& r, const std::string& s) {
  std::vector<uint8_t> body;
  AppendElement(0x02, IntegerContent(r), body);
  AppendElement(0x02, IntegerContent(s), body);
  std::vector<uint8_t> der;
  AppendElement(0x30, body, der);
  return der;
}

}  // namespace upd::test
