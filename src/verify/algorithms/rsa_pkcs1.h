#pragma once

#include <cstdint>
#include <span>

#include "verify/algorithms/asymmetric_algorithm.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/rsa.h"
#include "verify/common/byte_array.h"

// The EMSA-PKCS1-v1_5 block 00 01 PS 00 T for a k-byte modulus. T is the DER
// DigestInfo of the digest when asked for and the hash id is 1 to 7, else the
// bare digest; PS is max(k - |T| - 3, 8) bytes of FF, so a modulus too small
// for eight padding bytes gets a block longer than k that matches nothing.
// False when the digest's length is not the hash object's size.
[[nodiscard]] bool RSAPKCS1EncodeSignature(IHashAlgorithm* hash, std::span<const uint8_t> digest,
                                           uint32_t k, ByteArray& block, bool with_digest_info);

// RSASSA-PKCS1-v1_5 verification: the signature's public operation compared
// whole with the expected block, first with the DigestInfo choice given, then
// with the other one. The decrypted block is never parsed.
[[nodiscard]] bool RSAPKCS1VerifySignature(RSAImpl* key, IHashAlgorithm* hash,
                                           std::span<const uint8_t> digest,
                                           std::span<const uint8_t> signature,
                                           bool digest_info_first);

// The same with the hash named by id (0 means SHA-1).
[[nodiscard]] bool RSAVerifyHash(RSAImpl* key, std::span<const uint8_t> digest, uint32_t hash_id,
                                 std::span<const uint8_t> signature, bool digest_info_first);

// Signature checker over an RSA key (DigestInfo first).
class RSAPKCS1SignatureDeformatter final : public AsymmetricSignatureDeformatter {
 public:
  explicit RSAPKCS1SignatureDeformatter(const CountedPtr<AsymmetricAlgorithm>& key);
  // An empty key, or one that is not RSA, is ignored (the old key stays).
  void SetKey(const CountedPtr<AsymmetricAlgorithm>& key) override;
  [[nodiscard]] bool VerifySignature(const ByteArray& hash, const ByteArray& signature) override;
  using AsymmetricSignatureDeformatter::VerifySignature;
};
