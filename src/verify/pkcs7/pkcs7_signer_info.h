#pragma once

#include <cstdint>

#include "verify/asn1/asn1.h"
#include "verify/asn1/oid.h"
#include "verify/common/byte_array.h"
#include "verify/common/carray.h"
#include "verify/common/refcount.h"

namespace CPKCS7 {

// The first SignerInfo of a signedData: who signed (issuer and serial, or a
// subject key identifier), with which digest, the authenticated attributes
// and the signature bytes.
class SignerInfo {
 public:
  // Empty when the element is not a SignerInfo this reader understands.
  [[nodiscard]] static CountedPtr<SignerInfo> Parse(ASN1& node);

  uint32_t GetVersion() const { return version_; }
  const Oid& GetDigestAlgorithm() const { return digest_algorithm_; }
  const CArrayNoThrow<ASN1, const ASN1&>& GetAuthenticatedAttributes() const { return attributes_; }
  // The whole [0] element as received; it is what the signature covers once
  // its tag is read as SET OF.
  const ByteArray& GetAuthenticatedAttributesEncoding() const { return attributes_encoding_; }
  const ByteArray& GetEncryptedDigest() const { return encrypted_digest_; }
  const ByteArray& GetIssuer() const { return issuer_; }
  const ByteArray& GetSerialNumber() const { return serial_; }

 private:
  [[nodiscard]] bool ParseNode(ASN1& node);
  [[nodiscard]] bool ParseSignerIdentifier(ASN1& identifier);

  uint32_t version_ = 0;
  Oid digest_algorithm_;
  CArrayNoThrow<ASN1, const ASN1&> attributes_;
  ByteArray attributes_encoding_;
  ByteArray encrypted_digest_;
  ByteArray issuer_;
  ByteArray serial_;
  ByteArray subject_key_id_;
};

}  // namespace CPKCS7
