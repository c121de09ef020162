#include "verify/x509/authority_info_access_extension.h"

#include "verify/asn1/asn1_tags.h"

namespace {

constexpr uint8_t kOidCaIssuers[] = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x02};
constexpr uint8_t kOidOcsp[] = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x30, 0x01};

}  // namespace

int AuthorityInformationAccessExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1Sequence) return 0;
  for (int64_t i = 0; i < root->GetChildCount(); ++i) {
    const ASN1& description = *root->GetChild(i);
    if (description.GetChildCount() != 2) continue;
    const ASN1& method = *description.GetChild(0);
    if (method.GetTag() != kAsn1Oid) return 0;
    GeneralName* target = nullptr;
    if (method.ValueEquals(sizeof kOidCaIssuers, kOidCaIssuers)) target = &ca_issuers_;
    if (method.ValueEquals(sizeof kOidOcsp, kOidOcsp)) target = &ocsp_;
    if (target == nullptr) continue;
    GeneralName location;
    if (!location.Decode(*description.GetChild(1))) return 0;
    *target = std::move(location);
  }
  return 1;
}
