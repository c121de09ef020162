#include "verify/x509/basic_constraints_extension.h"

#include <limits>

#include "verify/asn1/asn1_integer.h"
#include "verify/asn1/asn1_tags.h"

namespace {

constexpr uint8_t kTrue = 0xFF;
constexpr uint8_t kSignBit = 0x80;

}  // namespace

int BasicConstraintsExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1Sequence) return 0;
  int64_t next = 0;
  if (root->HasChild(0) && root->GetChild(0)->GetTag() == kAsn1Boolean) {
    const std::span<const uint8_t> flag = root->GetChild(0)->ValueSpan();
    if (flag.size() != 1) return 0;
    ca_ = flag[0] == kTrue ? 1 : 0;
    next = 1;
  }
  if (!root->HasChild(next)) return 1;
  const ASN1& integer = *root->GetChild(next);
  const std::span<const uint8_t> content = integer.ValueSpan();
  if (integer.GetTag() != kAsn1Integer || content.empty()) return 0;
  // A negative constraint is invalid; read as a u32 it would wrap to "no
  // limit" (-1) or another number.
  if ((content[0] & kSignBit) != 0) return 0;
  uint32_t value = 0;
  if (!Asn1IntegerToUInt32(integer, value)) return 0;
  size_t significant = content.size();
  for (size_t i = 0; i < content.size() && content[i] == 0; ++i) --significant;
  const bool beyond = significant > 4 || value > static_cast<uint32_t>(INT32_MAX);
  path_len_constraint_ = beyond ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(value);
  return root->HasChild(next + 1) ? 0 : 1;
}
