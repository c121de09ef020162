#pragma once

#include <cstdint>
#include <span>

#include "verify/algorithms/asymmetric_algorithm.h"
#include "verify/algorithms/big_integer.h"
#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"

// Legal RSA key sizes: 384 to 16384 bits in steps of 8.
inline constexpr uint32_t kRsaMinKeyBits = 384;
inline constexpr uint32_t kRsaMaxKeyBits = 16384;
inline constexpr uint32_t kRsaKeyBitsStep = 8;
// Above this modulus size the public exponent must fit in 64 bits (as OpenSSL
// requires), so that no key makes one verification cost seconds.
inline constexpr uint32_t kRsaSmallModulusBits = 3072;
inline constexpr uint32_t kRsaMaxLargeExponentBits = 64;

// Public key for import: big-endian unsigned modulus and exponent.
struct RSAParameters {
  ByteArray modulus;
  ByteArray exponent;
};

class CRSA : public AsymmetricAlgorithm {
 public:
  bool IsLegalKeySize(uint32_t bits) const override;
  uint32_t GetAlgorithmType() const override { return kAlgorithmTypeRSA; }
};

class RSACryptoServiceProvider : public CRSA {};

// An RSA public key: the public operation only (no private key, no signing).
class RSAImpl final : public RSACryptoServiceProvider {
 public:
  // input ^ exponent mod modulus into output as big-endian bytes, limb count
  // x 8 long (leading zeros included). False without a key, for an empty
  // input, or for an input that is not below the modulus.
  [[nodiscard]] virtual bool PublicOperation(std::span<const uint8_t> input, ByteArray& output);
  // InitializeKey with the current key size, then the modulus and exponent.
  // Refuses empty values, a modulus or exponent longer than the key size, and
  // above kRsaSmallModulusBits an exponent longer than 64 bits.
  [[nodiscard]] virtual bool ImportParameters(const RSAParameters& parameters);
  // Clears the key and sizes modulus and exponent for a legal key size.
  [[nodiscard]] virtual bool InitializeKey(uint32_t bits);

  bool HasKey() const { return has_key_; }
  const BigInteger& GetModulus() const { return modulus_; }

 private:
  [[nodiscard]] bool ImportNumber(const ByteArray& bytes, uint32_t max_bits, BigInteger& out);

  bool has_key_ = false;
  BigInteger modulus_;
  BigInteger exponent_;
};

// A new key object in one allocation; empty when memory runs out.
[[nodiscard]] CountedPtr<RSAImpl> CreateRSAImpl();
