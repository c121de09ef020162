#include <cstring>

#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/rsa_pkcs1.h"
#include "verify/asn1/asn1_tags.h"
#include "verify/asn1/oid_text.h"
#include "verify/pkcs7/pkcs7_signed_data.h"

namespace {

// The key must be longer than an eighth of the signature: a cheap filter
// against certificates that cannot have made it.
constexpr int64_t kSignatureToKeyRatio = 8;

bool HashBytes(IHashAlgorithm* hash, std::span<const uint8_t> bytes, ByteArray& out) {
  const uint8_t* digest = ComputeHash(hash, bytes.data(), 0, bytes.size());
  if (digest == nullptr) return false;
  return out.Assign(hash->GetHashSize(), digest) != 0;
}

// The first member of the value SET of the first attribute of this type.
// kPkcs7Ok and `member` set when found; kPkcs7Malformed for a malformed
// attribute, kPkcs7AttributeMissing when none has the type.
Pkcs7Result FindAttributeValue(const CArrayNoThrow<ASN1, const ASN1&>& attributes, const char* oid,
                               const ASN1*& member) {
  for (int64_t i = 0; i < attributes.GetSize(); ++i) {
    const ASN1& attribute = attributes[i];
    const ASN1* type = attribute.GetChildIfTag(0, kAsn1Oid);
    if (type == nullptr) return kPkcs7Malformed;
    Oid text;
    if (!OidToText(*type, text)) return kPkcs7Malformed;
    if (!text.Equals(oid)) continue;
    if (!attribute.HasChild(1) || !attribute.GetChild(1)->HasChild(0)) return kPkcs7Malformed;
    member = attribute.GetChild(1)->GetChild(0);
    return kPkcs7Ok;
  }
  return kPkcs7AttributeMissing;
}

}  // namespace

namespace CPKCS7 {

Pkcs7Result SignedData::CheckAttributes(const ByteArray* content_digest, const char* content_type) {
  const CArrayNoThrow<ASN1, const ASN1&>& attributes = signer_info_->GetAuthenticatedAttributes();
  const ASN1* member = nullptr;
  Pkcs7Result code = FindAttributeValue(attributes, kOidAttributeContentType, member);
  if (code != kPkcs7Ok) return code;
  Oid type;
  if (member->GetTag() != kAsn1Oid || !OidToText(*member, type)) return kPkcs7Malformed;
  if (content_type == nullptr || !type.Equals(content_type)) return kPkcs7ContentTypeMismatch;

  code = FindAttributeValue(attributes, kOidAttributeMessageDigest, member);
  if (code != kPkcs7Ok) return code;
  if (member->GetTag() != kAsn1OctetString) return kPkcs7Malformed;
  // Without located content nothing would bind the content to the signature.
  if (content_digest == nullptr) return kPkcs7Malformed;
  if (!member->ValueEquals(*content_digest)) return kPkcs7DigestMismatch;
  return kPkcs7Ok;
}

Pkcs7Result SignedData::FindSigner(const ByteArray& digest, uint32_t hash_id) {
  const ByteArray& issuer = signer_info_->GetIssuer();
  const ByteArray& serial = signer_info_->GetSerialNumber();
  const ByteArray& signature = signer_info_->GetEncryptedDigest();
  // A signer named by key identifier has no issuer and serial and so
  // matches no certificate here.
  if (issuer.IsEmpty()) return kPkcs7NoSigner;
  for (int64_t i = 0; i < certificates_->GetCount(); ++i) {
    CountedPtr<X509Certificate> certificate = certificates_->GetAt(i);
    if (certificate.IsEmpty()) continue;
    if (!certificate->GetIssuerName().Encoding().Equals(issuer) ||
        !certificate->GetSerialNumber().Equals(serial)) {
      continue;
    }
    if (certificate->GetPublicKey().GetLength() <= signature.GetLength() / kSignatureToKeyRatio) {
      continue;
    }
    bool good = false;
    if (certificate->IsECCKey()) {
      CountedPtr<AsymmetricSignatureDeformatter> checker =
          certificate->CreateSignatureDeformatter();
      if (checker.IsEmpty()) continue;
      checker->SetHashAlgorithm(hash_id);
      good = checker->VerifySignature(digest, signature);
    } else {
      CountedPtr<RSAImpl> key = certificate->GetRSAPublicKey();
      if (key.IsEmpty()) continue;
      good = RSAVerifyHash(key.Get(), digest.AsSpan(), hash_id, signature.AsSpan(), true);
    }
    if (good) {
      signer_certificate_ = certificate;
      return kPkcs7Ok;
    }
  }
  return kPkcs7NoSigner;
}

Pkcs7Result SignedData::VerifySignerInfo(const char* content_type) {
  signer_certificate_.Reset();
  if (signer_info_.IsEmpty() || certificates_.IsEmpty()) return kPkcs7Malformed;
  uint32_t hash_id = kHashNone;
  if (!HashAlgorithmIdFromOid(signer_info_->GetDigestAlgorithm().GetText(), &hash_id)) {
    return kPkcs7Malformed;
  }
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(hash_id);
  if (hash.IsEmpty()) return kPkcs7NoHashObject;

  std::span<const uint8_t> content;
  ByteArray content_digest;
  const bool located =
      !content_info_.IsEmpty() && LocateContent(content_info_->GetContent(), content);
  if (located && !HashBytes(hash.Get(), content, content_digest)) return kPkcs7NoMemory;
  if (!located && !HasAuthenticatedAttributes()) return kPkcs7Malformed;

  ByteArray digest;
  if (HasAuthenticatedAttributes()) {
    const Pkcs7Result code = CheckAttributes(located ? &content_digest : nullptr, content_type);
    if (code != kPkcs7Ok) return code;
    ByteArray signed_attributes;
    if (!signed_attributes.AssignCopy(signer_info_->GetAuthenticatedAttributesEncoding()) ||
        signed_attributes.IsEmpty()) {
      return kPkcs7Malformed;
    }
    // The signature covers the attributes under their SET OF tag, not [0].
    signed_attributes.GetData()[0] = kAsn1Set;
    if (!HashBytes(hash.Get(), signed_attributes.AsSpan(), digest)) return kPkcs7NoMemory;
  } else if (!digest.AssignCopy(content_digest)) {
    return kPkcs7NoMemory;
  }
  return FindSigner(digest, hash_id);
}

}  // namespace CPKCS7
