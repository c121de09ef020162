#include "verify/algorithms/ecc_curves.h"

#include <array>
#include <string_view>
#include <vector>

namespace {

// FIPS 186-4 D.1.2 (SEC 2 secp256r1, secp384r1, secp521r1): p, a, b, n, Gx, Gy
// as big-endian hexadecimal of the coordinate size.
struct CurveTable {
  uint32_t id;
  uint32_t coordinate_bytes;
  uint32_t limb_count;
  std::array<std::string_view, 6> numbers;
};

constexpr CurveTable kCurves[] = {
    {kCurveP256,
     32,
     5,
     {"ffffffff00000001000000000000000000000000ffffffffffffffffffffffff",
      "ffffffff00000001000000000000000000000000fffffffffffffffffffffffc",
      "5ac635d8aa3a93e7b3ebbd55769886bc651d06b0cc53b0f63bce3c3e27d2604b",
      "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551",
      "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296",
      "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5"}},
    {kCurveP384,
     48,
     7,
     {"fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffe"
      "ffffffff0000000000000000ffffffff",
      "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffe"
      "ffffffff0000000000000000fffffffc",
      "b3312fa7e23ee7e4988e056be3f82d19181d9c6efe8141120314088f5013875a"
      "c656398d8a2ed19d2a85c8edd3ec2aef",
      "ffffffffffffffffffffffffffffffffffffffffffffffffc7634d81f4372ddf"
      "581a0db248b0a77aecec196accc52973",
      "aa87ca22be8b05378eb1c71ef320ad746e1d3b628ba79b9859f741e082542a38"
      "5502f25dbf55296c3a545e3872760ab7",
      "3617de4a96262c6f5d9e98bf9292dc29f8f41dbd289a147ce9da3113b5f0b8c0"
      "0a60b1ce1d7e819d7a431d7c90ea0e5f"}},
    {kCurveP521,
     66,
     9,
     {"01ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
      "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
      "01ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
      "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffc",
      "0051953eb9618e1c9a1f929a21a0b68540eea2da725b99b315f3b8b489918ef109"
      "e156193951ec7e937b1652c0bd3bb1bf073573df883d2c34f1ef451fd46b503f00",
      "01ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
      "fa51868783bf2f966b7fcc0148f709a5d03bb5c9b8899c47aebb6fb71e91386409",
      "00c6858e06b70404e9cd9e3ecb662395b4429c648139053fb521f828af606b4d3d"
      "baa14b5e77efe75928fe1dc127a2ffa8de3348b3c1856a429bf97e7e31c2e5bd66",
      "011839296a789a3bc0045c8a5fb42c7d1bd998f54449579b446817afbd17273e66"
      "2c97ee72995ef42640c550b9013fad0761353c7086a272c24088be94769fd16650"}},
};

const CurveTable* FindCurve(uint32_t curve_id) {
  for (const CurveTable& curve : kCurves) {
    if (curve.id == curve_id) return &curve;
  }
  return nullptr;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return c - 'a' + 10;
}

// The table's numbers are well-formed text of even length by construction.
bool LoadNumber(std::string_view hex, uint32_t limb_count, BigInteger& out) {
  std::vector<uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1])));
  }
  return out.SetLimbCount(limb_count) && out.FromBytesBE(bytes) && out.GetLimbCount() == limb_count;
}

bool LoadOne(uint32_t limb_count, BigInteger& out) {
  if (!out.SetLimbCount(limb_count)) return false;
  out.SetUInt(1);
  return true;
}

}  // namespace

bool LoadCurveParameters(uint32_t curve_id, EccCurveParameters& params) {
  const CurveTable* curve = FindCurve(curve_id);
  if (curve == nullptr) return false;
  const uint32_t limbs = curve->limb_count;
  params.curve_id = curve_id;
  params.coordinate_bytes = curve->coordinate_bytes;
  params.limb_count = limbs;
  return LoadNumber(curve->numbers[0], limbs, params.p) &&
         LoadNumber(curve->numbers[1], limbs, params.a) &&
         LoadNumber(curve->numbers[2], limbs, params.b) &&
         LoadNumber(curve->numbers[3], limbs, params.n) &&
         LoadNumber(curve->numbers[4], limbs, params.g.x) &&
         LoadNumber(curve->numbers[5], limbs, params.g.y) && LoadOne(limbs, params.g.z) &&
         LoadOne(limbs, params.cofactor);
}

bool LoadCurvePrime(uint32_t curve_id, BigInteger& p) {
  const CurveTable* curve = FindCurve(curve_id);
  return curve != nullptr && LoadNumber(curve->numbers[0], curve->limb_count, p);
}
