#include "verify/algorithms/ecdsa.h"

#include "verify/algorithms/modular_arithmetic.h"
#include "verify/algorithms/weierstrass_curve.h"
#include "verify/asn1/asn1.h"

namespace {

constexpr uint8_t kUncompressedPoint = 0x04;

// A big-endian value read into exactly `limbs` limbs: false when it is empty
// or needs more room (checked before anything is allocated).
bool ReadFixed(std::span<const uint8_t> bytes, uint32_t limbs, BigInteger& out) {
  if (bytes.empty() || bytes.size() > size_t{limbs} * 8) return false;
  return out.SetLimbCount(limbs) && out.FromBytesBE(bytes) && out.GetLimbCount() == limbs;
}

// In [1, bound) with the top bit of the top limb clear.
bool InRange(const BigInteger& value, const BigInteger& bound) {
  return !value.IsZero() && !value.IsNegative() && BigInteger::Compare(value, bound) < 0;
}

}  // namespace

ECCDSA::ECCDSA(uint32_t curve_id) {
  valid_ = LoadCurveParameters(curve_id, params_);
  if (!valid_) return;
  const uint32_t limbs = params_.limb_count;
  valid_ = q_.x.SetLimbCount(limbs) && q_.y.SetLimbCount(limbs) && q_.z.SetLimbCount(limbs);
}

bool ECCDSA::IsLegalKeySize(uint32_t bits) const {
  return bits == 256 || bits == 384 || bits == 521;
}

bool ECCDSA::ImportPublicKey(std::span<const uint8_t> point) {
  const size_t size = params_.coordinate_bytes;
  const uint32_t limbs = params_.limb_count;
  bool ok = params_.limb_count != 0 && point.size() == 2 * size + 1 &&
            point[0] == kUncompressedPoint && ReadFixed(point.subspan(1, size), limbs, q_.x) &&
            ReadFixed(point.subspan(1 + size, size), limbs, q_.y) && InRange(q_.x, params_.p) &&
            InRange(q_.y, params_.p) && q_.z.SetLimbCount(limbs);
  if (!ok) {
    valid_ = false;
    return false;
  }
  q_.z.SetUInt(1);
  return true;
}

EcdsaVerifyResult ECCDSA::ReadSignatureNumber(std::span<const uint8_t> bytes,
                                              BigInteger& out) const {
  if (bytes.empty()) return kEcdsaNumberNotStored;
  // Content longer than the number's limbs cannot keep the limb count.
  if (bytes.size() > size_t{params_.limb_count} * 8) return kEcdsaMalformed;
  if (!ReadFixed(bytes, params_.limb_count, out)) return kEcdsaNumberNotStored;
  return InRange(out, params_.n) ? kEcdsaValid : kEcdsaMalformed;
}

EcdsaVerifyResult ECCDSA::VerifyHash(std::span<const uint8_t> digest,
                                     std::span<const uint8_t> signature) const {
  if (!valid_) return kEcdsaInvalid;
  ByteArray input;
  if (!input.AssignBytes(signature)) return kEcdsaNumberNotStored;
  CountedPtr<ASN1> sequence = ASN1::Parse(input, true);
  if (!sequence || !sequence->IsValid() || sequence->GetChildCount() != 2) return kEcdsaMalformed;
  return VerifyHashRaw(digest, sequence->GetChild(0)->ValueSpan(),
                       sequence->GetChild(1)->ValueSpan());
}

EcdsaVerifyResult ECCDSA::VerifyHashRaw(std::span<const uint8_t> digest,
                                        std::span<const uint8_t> r_bytes,
                                        std::span<const uint8_t> s_bytes) const {
  if (!valid_) return kEcdsaInvalid;
  BigInteger r;
  BigInteger s;
  EcdsaVerifyResult status = ReadSignatureNumber(r_bytes, r);
  if (status == kEcdsaValid) status = ReadSignatureNumber(s_bytes, s);
  if (status != kEcdsaValid) return status;
  return Verify(digest, r, s);
}

// FIPS 186-4 6.4.2: w = s^-1, u1 = e w, u2 = r w (mod n); R = u1 G + u2 Q
// (computed jointly, the same point as two products and a sum); valid when
// x(R) mod n = r.
EcdsaVerifyResult ECCDSA::Verify(std::span<const uint8_t> digest, const BigInteger& r,
                                 const BigInteger& s) const {
  const uint32_t limbs = params_.limb_count;
  BigInteger e;
  // Cutting to the coordinate size in bytes equals the bit cut for these curves.
  if (!ReadFixed(digest.first(std::min<size_t>(digest.size(), params_.coordinate_bytes)), limbs,
                 e)) {
    return kEcdsaNumberNotStored;
  }
  ModularArithmetic order(params_.n);
  BigInteger w;
  BigInteger u1;
  BigInteger u2;
  if (!BigInteger::ModInverse(w, s, params_.n) || !order.MulMod(u1, e, w) ||
      !order.MulMod(u2, r, w)) {
    return kEcdsaInvalid;
  }
  WeierstrassJacobian curve(params_);
  JacobianPoint sum;
  if (!curve.MultiplyAndAdd(sum, u1, params_.g, u2, q_) || WeierstrassJacobian::IsInfinity(sum)) {
    return kEcdsaInvalid;
  }
  return XMatches(sum, r) ? kEcdsaValid : kEcdsaInvalid;
}

// x(R) mod n = r, tested as X = r Z^2 (mod p) or, when r + n < p, as
// X = (r + n) Z^2: the same answer as making R affine, without an inversion
// (x(R) < p < 2n, so x(R) mod n = r means x(R) is r or r + n).
bool ECCDSA::XMatches(const JacobianPoint& sum, const BigInteger& r) const {
  ModularArithmetic field(params_.p);
  BigInteger zz;
  BigInteger candidate;
  BigInteger product;
  if (!field.MulMod(zz, sum.z, sum.z) || !BigInteger::Copy(candidate, r)) return false;
  if (!field.MulMod(product, candidate, zz)) return false;
  if (BigInteger::Equals(product, sum.x)) return true;
  if (BigInteger::Add(candidate, params_.n) != 0 ||
      BigInteger::Compare(candidate, params_.p) >= 0) {
    return false;
  }
  return field.MulMod(product, candidate, zz) && BigInteger::Equals(product, sum.x);
}

ECCSignatureDeformatter::ECCSignatureDeformatter(const CountedPtr<AsymmetricAlgorithm>& key) {
  SetKey(key);
}

void ECCSignatureDeformatter::SetKey(const CountedPtr<AsymmetricAlgorithm>& key) {
  if (!key) {
    key_.Reset();
    return;
  }
  if (key->GetAlgorithmType() != kAlgorithmTypeECDSA) return;
  key_ = key;
}

bool ECCSignatureDeformatter::VerifySignature(const ByteArray& hash, const ByteArray& signature) {
  auto* ecdsa = dynamic_cast<ECCDSA*>(key_.Get());
  if (ecdsa == nullptr) return false;
  return ecdsa->VerifyHash(hash.AsSpan(), signature.AsSpan()) == kEcdsaValid;
}
