#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Root sets of CreateCertificateStore (only the low three bits count).
enum RootSet : uint32_t {
  kRootSetEmpty = 1,
  kRootSetPublic = 2,  // the public code-signing and time-stamping roots and the newer own root
  kRootSetOwn = 4,     // the product's own two roots, the older first
};
inline constexpr uint32_t kRootSetMask = 7;

// The largest set holds table rows 1 to 9.
inline constexpr size_t kMaxRootsPerSet = 9;

// DER bytes of the built-in roots of one set, in table order.
struct BuiltinRootList {
  std::array<std::span<const uint8_t>, kMaxRootsPerSet> der{};
  size_t count = 0;
};

// The roots of a set; rows that are not embedded are left out. Empty for set
// 1 and for any other value.
BuiltinRootList BuiltinRootsOf(uint32_t root_set);
