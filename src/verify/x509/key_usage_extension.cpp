#include "verify/x509/key_usage_extension.h"

#include "verify/asn1/asn1_tags.h"

namespace {

constexpr uint8_t kMaxUnusedBits = 7;
// Only decipherOnly may be set in the second bit octet.
constexpr uint16_t kUndefinedBits = 0x007F;

}  // namespace

KeyUsageExtension::KeyUsageExtension(const X509Extension& generic) : X509Extension(generic) {
  (void)MutableOid().Assign(kOid);
}

int KeyUsageExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1BitString) return 0;
  const std::span<const uint8_t> content = root->ValueSpan();
  if (content.empty() || content.size() > 3 || content[0] > kMaxUnusedBits) return 0;
  if (content.size() == 1) return content[0] == 0 ? 1 : 0;
  uint16_t bits = static_cast<uint16_t>(content[1] << 8);
  if (content.size() == 3) bits = static_cast<uint16_t>(bits | content[2]);
  bits_ = bits;
  return (bits & kUndefinedBits) == 0 ? 1 : 0;
}
