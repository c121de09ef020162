#include "probe_input.h"

#include <cstdio>

#include "verify/algorithms/hash_algorithm.h"

namespace updprobe {

bool ReadInput(const char* path, std::vector<uint8_t>& out) {
  const bool from_stdin = std::string_view(path) == "-";
  FILE* in = from_stdin ? stdin : std::fopen(path, "rb");
  if (in == nullptr) return false;
  uint8_t chunk[1 << 16];
  size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) out.insert(out.end(), chunk, chunk + n);
  const bool ok = std::ferror(in) == 0;
  if (!from_stdin) std::fclose(in);
  return ok;
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<uint8_t> out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]);
    const int low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return out;
}

uint32_t HashIdFromName(std::string_view name) {
  if (name == "sha1") return kHashSHA1;
  if (name == "sha224") return kHashSHA224;
  if (name == "sha256") return kHashSHA256;
  if (name == "sha384") return kHashSHA384;
  if (name == "sha512") return kHashSHA512;
  return kHashNone;
}

}  // namespace updprobe
