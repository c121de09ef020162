#pragma once

#include <cstdint>

#include "verify/asn1/asn1.h"
#include "verify/common/byte_array.h"
#include "verify/common/carray.h"
#include "verify/common/refcount.h"

// Content type of a certificate trust list inside signedData.
inline constexpr char kOidCertificateTrustList[] = "1.3.6.1.4.1.311.10.1";

// The parsed content of a certificate trust list: the hash algorithm of its
// subjects and the certificate hashes it lists, in order.
class CertificateTrustList {
 public:
  CertificateTrustList() = default;
  CertificateTrustList(const CertificateTrustList&) = delete;
  CertificateTrustList& operator=(const CertificateTrustList&) = delete;

  // bytes: the [0] content field of the encapsulated ContentInfo (holding
  // one OCTET STRING with the list's DER). Empty when it does not parse.
  [[nodiscard]] static CountedPtr<CertificateTrustList> Create(const ByteArray& bytes);
  [[nodiscard]] bool Parse(const ByteArray& bytes);

  const CArrayNoThrow<ByteArray, const ByteArray&>& GetSubjects() const { return subjects_; }
  uint32_t GetHashAlgorithm() const { return hash_id_; }

 private:
  [[nodiscard]] bool ParseList(const ASN1& list);
  [[nodiscard]] bool ParseSubjects(const ASN1& subjects);

  CArrayNoThrow<ByteArray, const ByteArray&> subjects_;
  uint32_t hash_id_ = 0;
};
