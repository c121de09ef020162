#pragma once

#include <cstdint>

#include "verify/algorithms/hash_algorithm.h"
#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"

// Values of AsymmetricAlgorithm::GetAlgorithmType.
enum AsymmetricAlgorithmType : uint32_t {
  kAlgorithmTypeRSA = 1,
  kAlgorithmTypeECDSA = 2,
};

// Base of the public-key algorithms (verification only).
class AsymmetricAlgorithm {
 public:
  virtual ~AsymmetricAlgorithm() = default;
  virtual uint32_t GetKeySize() const { return key_size_; }
  // Stores the size only when IsLegalKeySize accepts it; returns that answer.
  virtual bool SetKeySize(uint32_t bits);
  virtual bool IsLegalKeySize(uint32_t bits) const = 0;
  virtual uint32_t GetAlgorithmType() const = 0;

 protected:
  uint32_t key_size_ = 0;
};

// Base of the signature checkers: a shared key and the digest's hash id.
class AsymmetricSignatureDeformatter {
 public:
  virtual ~AsymmetricSignatureDeformatter() = default;
  virtual void SetHashAlgorithm(uint32_t id) { hash_id_ = id; }
  virtual void SetKey(const CountedPtr<AsymmetricAlgorithm>& key) = 0;
  // Checks a signature over a digest already computed.
  [[nodiscard]] virtual bool VerifySignature(const ByteArray& hash, const ByteArray& signature) = 0;
  // Takes the hash object's id and digest, then asks the digest form above.
  [[nodiscard]] virtual bool VerifySignature(IHashAlgorithm* hash, const ByteArray& signature);

  uint32_t GetHashAlgorithm() const { return hash_id_; }

 protected:
  CountedPtr<AsymmetricAlgorithm> key_;
  uint32_t hash_id_ = kHashNone;
};
