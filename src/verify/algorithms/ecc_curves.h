#pragma once

#include <cstdint>

#include "verify/algorithms/big_integer.h"

// Curve ids of the NIST prime curves.
enum EccCurveId : uint32_t {
  kCurveP256 = 1,
  kCurveP384 = 2,
  kCurveP521 = 3,
};

// Jacobian point (X, Y, Z) meaning (X/Z^2, Y/Z^3); Z = 0 is the point at
// infinity, written (0, 1, 0).
struct JacobianPoint {
  BigInteger x;
  BigInteger y;
  BigInteger z;
};

// Domain parameters of one curve, every number at the curve's limb count.
struct EccCurveParameters {
  uint32_t curve_id = 0;
  uint32_t coordinate_bytes = 0;
  // One limb more than P-256 and P-384 need, so that the fast reductions'
  // signed results keep their sign.
  uint32_t limb_count = 0;
  BigInteger a;
  BigInteger b;
  BigInteger p;
  JacobianPoint g;
  BigInteger n;
  BigInteger cofactor;
};

// Fills params from the curve's table (G with Z = 1, cofactor 1); false for
// an unknown id or when memory runs out.
[[nodiscard]] bool LoadCurveParameters(uint32_t curve_id, EccCurveParameters& params);

// The curve's prime p alone, at the curve's limb count.
[[nodiscard]] bool LoadCurvePrime(uint32_t curve_id, BigInteger& p);
