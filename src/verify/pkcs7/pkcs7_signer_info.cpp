#include "verify/pkcs7/pkcs7_signer_info.h"

#include "verify/asn1/asn1_tags.h"
#include "verify/asn1/oid_text.h"

namespace {

constexpr uint8_t kTagAttributes = Asn1ContextTag(0);
constexpr uint8_t kTagUnauthenticated = Asn1ContextTag(1);
constexpr uint8_t kTagKeyIdentifier = Asn1ContextPrimitiveTag(0);
// version, sid, digestAlgorithm, digestEncryptionAlgorithm, encryptedDigest.
constexpr int64_t kMinSignerInfoElements = 5;
// Only a version 3 SignerInfo may name its signer by key identifier.
constexpr uint32_t kKeyIdentifierVersion = 3;

}  // namespace

namespace CPKCS7 {

CountedPtr<SignerInfo> SignerInfo::Parse(ASN1& node) {
  CountedPtr<SignerInfo> result = MakeCounted<SignerInfo>();
  if (result.IsEmpty() || !result->ParseNode(node)) return {};
  return result;
}

bool SignerInfo::ParseSignerIdentifier(ASN1& identifier) {
  if (identifier.GetTag() == kTagKeyIdentifier && version_ == kKeyIdentifierVersion) {
    subject_key_id_ = identifier.Value();
    return true;
  }
  if (!identifier.EnsureDecoded(false) || identifier.GetChildCount() < 2) return false;
  issuer_ = identifier.GetChild(0)->Encoding();
  serial_ = identifier.GetChild(1)->Value();
  return true;
}

bool SignerInfo::ParseNode(ASN1& node) {
  if (node.GetTag() != kAsn1Sequence || !node.EnsureDecoded(false)) return false;
  if (node.GetChildCount() < kMinSignerInfoElements) return false;
  const ASN1* version = node.GetChildIfTag(0, kAsn1Integer);
  if (version == nullptr || version->GetValueLength() == 0) return false;
  version_ = version->Value().GetAt(0);
  if (!ParseSignerIdentifier(*node.GetChild(1))) return false;

  ASN1& digest = *node.GetChild(2);
  if (!digest.EnsureDecoded(false)) return false;
  const ASN1* digest_oid = digest.GetChildIfTag(0, kAsn1Oid);
  if (digest_oid == nullptr || !OidToText(*digest_oid, digest_algorithm_)) return false;

  int64_t position = 3;
  ASN1& attributes = *node.GetChild(position);
  attributes_encoding_ = attributes.Encoding();
  if (attributes.GetTag() == kTagAttributes) {
    if (!attributes.EnsureDecoded(true)) return false;
    for (int64_t i = 0; i < attributes.GetChildCount(); ++i) {
      if (!attributes_.Add(*attributes.GetChild(i))) return false;
    }
    ++position;
  }
  // digestEncryptionAlgorithm is not read; the key type decides the check.
  ++position;
  if (!node.HasChild(position)) return false;
  const ASN1& signature = *node.GetChild(position);
  if (signature.GetTag() == kAsn1OctetString) encrypted_digest_ = signature.Value();
  ++position;
  if (node.HasChild(position) && node.GetChild(position)->GetTag() == kTagUnauthenticated &&
      !node.GetChild(position)->EnsureDecoded(false)) {
    return false;
  }
  return true;
}

}  // namespace CPKCS7
