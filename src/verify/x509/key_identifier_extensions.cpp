#include "verify/x509/key_identifier_extensions.h"

#include "verify/asn1/asn1_tags.h"

namespace {

constexpr uint8_t kTagKeyIdentifier = Asn1ContextPrimitiveTag(0);  // [0] IMPLICIT OCTET STRING

}  // namespace

KeyIdentifierExtension::KeyIdentifierExtension(const X509Extension& generic, const char* oid)
    : X509Extension(generic) {
  if (!GetOid().Equals(oid)) MarkInvalid();
}

void KeyIdentifierExtension::Found(const ByteArray& key_identifier) {
  key_identifier_ = key_identifier;
  status_ |= kKeyIdentifierPresent;
}

int KeyIdentifierExtension::Share(ByteArray& out) const {
  out = key_identifier_;
  return 1;
}

SubjectKeyIdentifierExtension::SubjectKeyIdentifierExtension(const X509Extension& generic)
    : KeyIdentifierExtension(generic, kOid) {
  (void)SubjectKeyIdentifierExtension::Decode();
}

int SubjectKeyIdentifierExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1OctetString) {
    MarkInvalid();
    return 0;
  }
  Found(root->Value());
  return 1;
}

int SubjectKeyIdentifierExtension::GetKeyIdentifier(ByteArray& out) const {
  if (IsInvalid() || !IsPresent()) return 0;
  return Share(out);
}

AuthorityKeyIdentifierExtension::AuthorityKeyIdentifierExtension(const X509Extension& generic)
    : KeyIdentifierExtension(generic, kOid) {
  (void)AuthorityKeyIdentifierExtension::Decode();
}

int AuthorityKeyIdentifierExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1Sequence || root->GetChildCount() < 1) {
    MarkInvalid();
    return 0;
  }
  // [1] authorityCertIssuer and [2] authorityCertSerialNumber are not used.
  for (int64_t i = 0; i < root->GetChildCount(); ++i) {
    const ASN1& child = *root->GetChild(i);
    if (child.GetTag() == kTagKeyIdentifier) Found(child.Value());
  }
  return IsPresent() ? 1 : 0;
}

// The invalid bit is not looked at: an identifier found is handed out.
int AuthorityKeyIdentifierExtension::GetKeyIdentifier(ByteArray& out) const {
  if (!IsPresent()) return 0;
  return Share(out);
}
