#include "verify/x509/builtin_roots.h"

#include "verify/x509/embedded_roots.h"

namespace {

constexpr int kPublicSetRows[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
constexpr int kOwnSetRows[] = {10, 9};

BuiltinRootList Rows(std::span<const int> rows) {
  BuiltinRootList out;
  for (const int row : rows) {
    const std::span<const uint8_t> der = upd::embedded::RootCertificate(row);
    if (!der.empty() && out.count < out.der.size()) out.der[out.count++] = der;
  }
  return out;
}

}  // namespace

BuiltinRootList BuiltinRootsOf(uint32_t root_set) {
  switch (root_set & kRootSetMask) {
    case kRootSetPublic:
      return Rows(kPublicSetRows);
    case kRootSetOwn:
      return Rows(kOwnSetRows);
    default:
      return {};
  }
}
