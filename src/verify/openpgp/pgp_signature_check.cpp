#include "verify/openpgp/pgp_signature_check.h"

#include <algorithm>

#include "verify/algorithms/big_integer.h"
#include "verify/algorithms/rsa.h"
#include "verify/algorithms/rsa_pkcs1.h"
#include "verify/common/byte_array.h"

namespace {

constexpr uint8_t kTrailerMark = 0xFF;

std::span<const uint8_t> MpiBytes(const _PGP_MPI& mpi) {
  return {mpi.data, mpi.data == nullptr ? 0u : (mpi.bits + 7) / 8};
}

bool ToByteArray(const _PGP_MPI& mpi, ByteArray* out) {
  const std::span<const uint8_t> bytes = MpiBytes(mpi);
  if (bytes.empty()) return false;
  return out->Assign(static_cast<int64_t>(bytes.size()), bytes.data()) != 0;
}

bool Import(const _PGP_MPI& mpi, BigInteger* out) {
  const std::span<const uint8_t> bytes = MpiBytes(mpi);
  return mpi.bits != 0 && !bytes.empty() && out->FromBytesBE(bytes);
}

void HashVersion4Fields(const _PGP_SIGNATURE& sig, IHashAlgorithm* hash) {
  const std::span<const uint8_t> area = sig.hashed.All();
  const uint8_t head[] = {sig.version, sig.type, sig.public_key_algorithm, sig.hash_algorithm};
  hash->HashCore(head, 0, sizeof(head));
  // The stored area starts with its own 2-byte length, as it is hashed.
  hash->HashCore(area.data(), 0, area.size());
}

PgpResult FinishDigest(const _PGP_SIGNATURE& sig, IHashAlgorithm* hash) {
  if (sig.version <= 3) {
    const std::span<const uint8_t> hashed = sig.hashed.All();
    return hash->HashFinal(hashed.data(), 0, hashed.size()) == 0 ? kPgpOk : kPgpNoMemory;
  }
  HashVersion4Fields(sig, hash);
  const uint32_t counted = sig.hashed.size + 4;
  const uint8_t trailer[] = {sig.version,
                             kTrailerMark,
                             static_cast<uint8_t>(counted >> 24),
                             static_cast<uint8_t>(counted >> 16),
                             static_cast<uint8_t>(counted >> 8),
                             static_cast<uint8_t>(counted)};
  return hash->HashFinal(trailer, 0, sizeof(trailer)) == 0 ? kPgpOk : kPgpNoMemory;
}

// The common limb count of the DSA values modulo q, one limb wider than q so
// that the inverse's signed intermediate values never reach q's top bit.
uint32_t QLimbs(const BigInteger& q) { return q.GetLimbCount() + 1; }

bool ReduceTo(BigInteger* value, const BigInteger& modulus) {
  BigInteger quotient;
  if (!value->Resize(modulus.GetLimbCount(), false)) return false;
  return BigInteger::Mod(quotient, *value, *value, modulus);
}

// The leftmost bits of the digest, as many as q has, as a number below 2^|q|.
bool DigestAsNumber(std::span<const uint8_t> digest, uint32_t q_bits, BigInteger* z) {
  if (digest.empty() || !z->FromBytesBE(digest)) return false;
  const uint64_t digest_bits = uint64_t{digest.size()} * 8;
  if (digest_bits <= q_bits) return true;
  return BigInteger::ShiftRight(*z, *z, static_cast<uint32_t>(digest_bits - q_bits));
}

}  // namespace

PgpResult PgpVerifySignature(const _PGP_SIGNATURE& sig, IHashAlgorithm* hash,
                             const _PGP_PUBLIC_KEY& key) {
  if (hash == nullptr) return kPgpMissingArgument;
  const PgpResult rc = FinishDigest(sig, hash);
  if (rc != kPgpOk) return rc;
  const uint8_t* digest = hash->GetHash();
  if (digest == nullptr || hash->GetHashSize() < 2) return kPgpNoMemory;
  if (digest[0] != sig.left16[0] || digest[1] != sig.left16[1]) return kPgpMismatch;
  // The value is checked only with a key of the algorithm's own kind: a DSA
  // key read as an RSA modulus and exponent is no RSA key.
  if (sig.public_key_algorithm == kPgpAlgorithmRsa && key.kind == kPgpKeyRsa) {
    return PgpVerifyRsa(sig, hash, key);
  }
  if (sig.public_key_algorithm == kPgpAlgorithmDsa && key.kind == kPgpKeyDsa) {
    return PgpVerifyDsa(sig, {digest, hash->GetHashSize()}, key);
  }
  return kPgpAlgorithmUnsupported;
}

PgpResult PgpVerifyRsa(const _PGP_SIGNATURE& sig, IHashAlgorithm* hash,
                       const _PGP_PUBLIC_KEY& key) {
  RSAParameters parameters;
  ByteArray value;
  if (!ToByteArray(key.mpi[0], &parameters.modulus) ||
      !ToByteArray(key.mpi[1], &parameters.exponent) || !ToByteArray(sig.mpi[0], &value)) {
    return kPgpNoMemory;
  }
  CountedPtr<RSAImpl> rsa = CreateRSAImpl();
  if (!rsa) return kPgpNoMemory;
  if (!rsa->SetKeySize(key.mpi[0].bits) || !rsa->ImportParameters(parameters)) {
    return kPgpUnreadable;
  }
  const std::span<const uint8_t> digest(hash->GetHash(), hash->GetHashSize());
  return RSAPKCS1VerifySignature(rsa.Get(), hash, digest, value.AsSpan(), true) ? kPgpOk
                                                                                : kPgpMismatch;
}

PgpResult PgpVerifyDsa(const _PGP_SIGNATURE& sig, std::span<const uint8_t> digest,
                       const _PGP_PUBLIC_KEY& key) {
  BigInteger r, s, p, q, g, y, z;
  if (!Import(sig.mpi[0], &r) || !Import(sig.mpi[1], &s) || !Import(key.mpi[0], &p) ||
      !Import(key.mpi[1], &q) || !Import(key.mpi[2], &g) || !Import(key.mpi[3], &y) ||
      !DigestAsNumber(digest, q.BitLength(), &z)) {
    return kPgpNoMemory;
  }
  const uint32_t n = QLimbs(q);
  // A generator or public value wider than p is no DSA key.
  if (g.BitLength() > p.BitLength() || y.BitLength() > p.BitLength()) return kPgpUnreadable;
  if (q.IsZero() || p.IsZero() || n > p.GetLimbCount() + 1 || !q.Resize(n, false) ||
      !r.Resize(n, false) || !s.Resize(n, false)) {
    return kPgpUnreadable;
  }
  if (r.IsZero() || s.IsZero() || BigInteger::Compare(r, q) >= 0 ||
      BigInteger::Compare(s, q) >= 0) {
    return kPgpUnreadable;
  }
  BigInteger w, u1, u2;
  if (!BigInteger::ModInverse(w, s, q) || !ReduceTo(&z, q) || !BigInteger::ModMul(u1, z, w, q) ||
      !BigInteger::ModMul(u2, r, w, q)) {
    return kPgpUnreadable;
  }
  // g^u1 * y^u2 mod p, with every operand at p's limb count.
  const uint32_t np = std::max(p.GetLimbCount(), n);
  BigInteger a, b, v;
  if (!p.Resize(np, false) || !ReduceTo(&g, p) || !ReduceTo(&y, p) || !u1.Resize(np, false) ||
      !u2.Resize(np, false) || !BigInteger::ModExp(a, g, u1, p) ||
      !BigInteger::ModExp(b, y, u2, p) || !BigInteger::ModMul(v, a, b, p)) {
    return kPgpUnreadable;
  }
  BigInteger q_wide;
  if (!BigInteger::Copy(q_wide, q) || !q_wide.Resize(np, false) || !ReduceTo(&v, q_wide)) {
    return kPgpUnreadable;
  }
  return BigInteger::Compare(v, r) == 0 ? kPgpOk : kPgpMismatch;
}
