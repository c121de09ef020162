#pragma once

#include <cstdint>
#include <span>

#include "verify/algorithms/asymmetric_algorithm.h"
#include "verify/algorithms/ecc_curves.h"
#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"

// Results of ECCDSA::VerifyHash.
enum EcdsaVerifyResult : uint32_t {
  kEcdsaValid = 1,
  kEcdsaNumberNotStored = 2,  // no memory, or an empty value
  kEcdsaMalformed = 3,        // malformed signature or a value out of range
  kEcdsaInvalid = 4,          // no valid key, or the signature does not verify
};

// An ECDSA public key on P-256, P-384 or P-521 (verification only). Immutable
// after import, so one key may serve several threads: each verification
// builds its own curve object and temporaries.
class ECCDSA final : public AsymmetricAlgorithm {
 public:
  explicit ECCDSA(uint32_t curve_id);

  bool IsLegalKeySize(uint32_t bits) const override;
  uint32_t GetAlgorithmType() const override { return kAlgorithmTypeECDSA; }

  // An uncompressed point 04 || X || Y of the curve's coordinate size; X and Y
  // non-zero and below p (not tested against the curve equation). A failure
  // leaves the key invalid.
  [[nodiscard]] bool ImportPublicKey(std::span<const uint8_t> point);
  // Checks a DER SEQUENCE of r and s over a digest (cut to the coordinate size).
  [[nodiscard]] EcdsaVerifyResult VerifyHash(std::span<const uint8_t> digest,
                                             std::span<const uint8_t> signature) const;
  // The same with r and s given as big-endian numbers (the form OpenPGP and
  // IEEE P1363 carry).
  [[nodiscard]] EcdsaVerifyResult VerifyHashRaw(std::span<const uint8_t> digest,
                                                std::span<const uint8_t> r,
                                                std::span<const uint8_t> s) const;

  bool IsValid() const { return valid_; }
  const EccCurveParameters& GetParameters() const { return params_; }

 private:
  [[nodiscard]] EcdsaVerifyResult ReadSignatureNumber(std::span<const uint8_t> bytes,
                                                      BigInteger& out) const;
  [[nodiscard]] EcdsaVerifyResult Verify(std::span<const uint8_t> digest, const BigInteger& r,
                                         const BigInteger& s) const;
  [[nodiscard]] bool XMatches(const JacobianPoint& sum, const BigInteger& r) const;

  EccCurveParameters params_;
  JacobianPoint q_;
  bool valid_ = false;
};

// Signature checker over an ECDSA key; the hash id is kept but not used.
class ECCSignatureDeformatter final : public AsymmetricSignatureDeformatter {
 public:
  explicit ECCSignatureDeformatter(const CountedPtr<AsymmetricAlgorithm>& key);
  // An empty key clears the key; a key that is not ECDSA is ignored.
  void SetKey(const CountedPtr<AsymmetricAlgorithm>& key) override;
  [[nodiscard]] bool VerifySignature(const ByteArray& hash, const ByteArray& signature) override;
  using AsymmetricSignatureDeformatter::VerifySignature;
};
