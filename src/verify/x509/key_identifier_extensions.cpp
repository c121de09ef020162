#include "verify/x509/key_identifier_extensions.h"

#include "verify/asn1/asn1_tags.h"

namespace {

constexpr uint8_t kTagKeyIdentifier = Asn1ContextPrimitiveTag(0);  // [0] IMPLICIT OCTET STRING

}  // namespace

SubjectKeyIdentifierExtension::SubjectKeyIdentifierExtension(const X509Extension& generic)
    : X509Extension(generic) {
  if (!GetOid().Equals(kOid)) status_ |= kKeyIdentifierInvalid;
  (void)SubjectKeyIdentifierExtension::Decode();
}

int SubjectKeyIdentifierExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1OctetString) {
    status_ |= kKeyIdentifierInvalid;
    return 0;
  }
  key_identifier_ = root->Value();
  status_ |= kKeyIdentifierPresent;
  return 1;
}

int SubjectKeyIdentifierExtension::GetKeyIdentifier(ByteArray& out) const {
  if ((status_ & kKeyIdentifierInvalid) != 0 || (status_ & kKeyIdentifierPresent) == 0) return 0;
  out = key_identifier_;
  return 1;
}

AuthorityKeyIdentifierExtension::AuthorityKeyIdentifierExtension(const X509Extension& generic)
    : X509Extension(generic) {
  if (!GetOid().Equals(kOid)) status_ |= kKeyIdentifierInvalid;
  (void)AuthorityKeyIdentifierExtension::Decode();
}

int AuthorityKeyIdentifierExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1Sequence || root->GetChildCount() < 1) {
    status_ |= kKeyIdentifierInvalid;
    return 0;
  }
  // [1] authorityCertIssuer and [2] authorityCertSerialNumber are not used.
  for (int64_t i = 0; i < root->GetChildCount(); ++i) {
    const ASN1& child = *root->GetChild(i);
    if (child.GetTag() != kTagKeyIdentifier) continue;
    key_identifier_ = child.Value();
    status_ |= kKeyIdentifierPresent;
  }
  return (status_ & kKeyIdentifierPresent) != 0 ? 1 : 0;
}

int AuthorityKeyIdentifierExtension::GetKeyIdentifier(ByteArray& out) const {
  if ((status_ & kKeyIdentifierPresent) == 0) return 0;
  out = key_identifier_;
  return 1;
}
