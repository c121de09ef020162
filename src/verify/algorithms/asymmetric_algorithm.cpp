#include "verify/algorithms/asymmetric_algorithm.h"

bool AsymmetricAlgorithm::SetKeySize(uint32_t bits) {
  if (!IsLegalKeySize(bits)) return false;
  key_size_ = bits;
  return true;
}

bool AsymmetricSignatureDeformatter::VerifySignature(IHashAlgorithm* hash,
                                                     const ByteArray& signature) {
  if (hash == nullptr) return false;
  SetHashAlgorithm(hash->GetAlgorithmId());
  ByteArray digest;
  if (!digest.Assign(hash->GetHashSize(), hash->GetHash())) return false;
  return VerifySignature(digest, signature);
}
