#pragma once

#include <atomic>
#include <cstdint>

#include "verify/algorithms/asymmetric_algorithm.h"
#include "verify/algorithms/ecdsa.h"
#include "verify/algorithms/rsa.h"
#include "verify/asn1/asn1.h"
#include "verify/asn1/oid.h"
#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"
#include "verify/x509/x509_extension.h"

// Key types of X509Certificate::GetKeyType.
enum X509KeyType : uint32_t {
  kX509KeyRSA = 1,
  kX509KeyEC = 2,
};

// One parsed X.509 certificate (versions 1 to 3), shared through CountedPtr.
// Read-only after parsing except two caches: the to-be-signed hash (guarded
// by a spin lock) and the self-signed verdict.
class X509Certificate {
 private:
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  // Only FromBytes builds certificates; the key keeps the constructor private
  // while letting MakeCounted place the object in its control block.
  explicit X509Certificate(ConstructionKey /*key*/) {}
  X509Certificate(const X509Certificate&) = delete;
  X509Certificate& operator=(const X509Certificate&) = delete;

  // DER, or PEM when the first byte is '-'; empty on any failure.
  [[nodiscard]] static CountedPtr<X509Certificate> FromBytes(const ByteArray& bytes);

  // The issuer and subject Name SEQUENCEs (invalid nodes when not SEQUENCEs).
  const ASN1& GetIssuerName() const { return issuer_; }
  const ASN1& GetSubjectName() const { return subject_; }
  // subjectPublicKey BIT STRING content without its unused-bits octet.
  const ByteArray& GetPublicKey() const { return public_key_; }
  // serialNumber content octets as stored (a leading 00 stays).
  const ByteArray& GetSerialNumber() const { return serial_; }
  int32_t GetVersion() const { return version_; }
  // Null when the certificate has no extensions element.
  CountedPtr<X509ExtensionCollection> GetExtensions() const { return extensions_; }
  bool IsECCKey() const { return key_type_ == kX509KeyEC; }
  uint32_t GetKeyType() const { return key_type_; }
  // 0 none or unknown, else the EccCurveId.
  uint32_t GetCurve() const { return curve_; }
  int64_t GetNotBefore() const { return not_before_; }
  int64_t GetNotAfter() const { return not_after_; }
  // The DER bytes as parsed (after PEM decoding).
  const ByteArray& GetEncoded() const { return raw_; }

  // notBefore < t <= notAfter.
  [[nodiscard]] bool IsTimeValid(int64_t t) const;
  // Hash of the to-be-signed encoding with the certificate's own hash id,
  // computed once and then served from the cache.
  [[nodiscard]] bool GetTBSHash(ByteArray& out) const;
  // Thumbprint: hash of the raw encoding (id 3 gives SHA-1).
  [[nodiscard]] bool ComputeHash(uint32_t hash_id, ByteArray& out) const;

  [[nodiscard]] CountedPtr<RSAImpl> GetRSAPublicKey() const;
  [[nodiscard]] CountedPtr<ECCDSA> GetECCPublicKey() const;
  // A checker over this certificate's key, or empty.
  [[nodiscard]] CountedPtr<AsymmetricSignatureDeformatter> CreateSignatureDeformatter() const;
  // The signature in the form the checker takes; false for algorithms whose
  // signatures are refused.
  [[nodiscard]] bool GetSignatureBytes(ByteArray& out) const;
  // Whether the issuer's public key verifies this certificate's signature.
  [[nodiscard]] bool VerifySignature(const X509Certificate* issuer) const;
  // Same issuer and subject encoding and its own key verifies its signature.
  [[nodiscard]] bool IsSelfSigned() const;

  // Collection order: shorter raw encoding first, then bytewise; -2 when
  // either side is null.
  [[nodiscard]] static int CompareEncoded(const X509Certificate* a, const X509Certificate* b);
  [[nodiscard]] bool IsSameIssuerAndSerial(const X509Certificate* other) const;

 private:
  [[nodiscard]] bool Parse(const ByteArray& der);
  [[nodiscard]] bool ParseValidity(const ASN1& validity);
  [[nodiscard]] bool ParseKeyInfo(const ASN1& key_info);
  [[nodiscard]] bool ParseSignatureAlgorithm(const ASN1& root);
  [[nodiscard]] bool ParseExtensions(ASN1& tbs, int64_t position);
  [[nodiscard]] bool ComputeTBSHash(ByteArray& out) const;
  void LockHashCache() const;
  void UnlockHashCache() const;

  mutable std::atomic<uint32_t> lock_word_{0};
  ByteArray raw_;
  ByteArray tbs_;
  int64_t not_before_ = -1;
  int64_t not_after_ = -1;
  ASN1 issuer_;
  ASN1 subject_;
  ByteArray public_key_;
  ByteArray signature_;
  Oid signature_algorithm_;
  mutable ByteArray tbs_hash_;
  int32_t version_ = -1;
  ByteArray serial_;
  CountedPtr<X509ExtensionCollection> extensions_;
  // -1 unknown, 0 no, 1 yes; racing threads compute the same value.
  mutable std::atomic<int32_t> self_signed_{-1};
  uint32_t key_type_ = kX509KeyRSA;
  uint32_t curve_ = 0;
  uint32_t hash_id_ = kHashNone;
};
