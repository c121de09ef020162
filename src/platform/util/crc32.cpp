#include "platform/util/crc32.h"

#include <array>
#include <cstring>

#include "platform/util/cpu_features.h"
#include "platform/util/crc32_fold.h"
#include "platform/util/digest_bytes.h"

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320;

using SliceTables = std::array<std::array<uint32_t, 256>, 8>;

// tables[0] is the byte table; tables[k][i] is the CRC of byte i followed by k zero bytes.
constexpr SliceTables MakeTables() {
  SliceTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (size_t k = 1; k < t.size(); ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

constexpr SliceTables kTables = MakeTables();

// Below this, setting up the folding costs more than it saves.
constexpr uint64_t kFoldMinimum = 64;

uint32_t BytewiseRaw(const uint8_t* p, uint64_t n, uint32_t c) {
  for (; n != 0; --n) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return c;
}

uint32_t SlicedRaw(const uint8_t* p, uint64_t n, uint32_t c) {
  for (; n >= 8; n -= 8, p += 8) {
    uint32_t lo = LoadLe32(p) ^ c;
    uint32_t hi = LoadLe32(p + 4);
    c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
        kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
        kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
  }
  return BytewiseRaw(p, n, c);
}

uint32_t PclmulRaw(const uint8_t* p, uint64_t n, uint32_t c) {
  if (n >= kFoldMinimum) {
    uint64_t folded = n & ~uint64_t{15};
    c = Crc32FoldBlocks(p, folded, c);
    p += folded;
    n -= folded;
  }
  return SlicedRaw(p, n, c);
}

using RawFunction = uint32_t (*)(const uint8_t*, uint64_t, uint32_t);

RawFunction Chosen() {
  static const RawFunction chosen = CpuHasPclmul() ? PclmulRaw : SlicedRaw;
  return chosen;
}

uint32_t Run(RawFunction f, const void* data, uint64_t length, uint32_t previous) {
  if (length == 0 || data == nullptr) return previous;
  return ~f(static_cast<const uint8_t*>(data), length, ~previous);
}

}  // namespace

std::span<const uint32_t, 256> Crc32Table() { return kTables[0]; }

uint32_t Crc32(const void* data, uint64_t length, uint32_t previous) {
  return Run(Chosen(), data, length, previous);
}

uint32_t Crc32Bytewise(const void* data, uint64_t length, uint32_t previous) {
  return Run(BytewiseRaw, data, length, previous);
}

uint32_t Crc32Sliced(const void* data, uint64_t length, uint32_t previous) {
  return Run(SlicedRaw, data, length, previous);
}

uint32_t Crc32Pclmul(const void* data, uint64_t length, uint32_t previous) {
  return Run(PclmulRaw, data, length, previous);
}
