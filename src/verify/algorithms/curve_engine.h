#pragma once

#include <cstdint>

#include "verify/algorithms/big_integer.h"
#include "verify/algorithms/ecc_curves.h"

// Fixed-width arithmetic behind the curve's scalar multiplications: numbers
// of exactly the limbs the prime needs, in Montgomery form, and points in
// Jacobian coordinates with the a = -3 doubling all three NIST curves allow.
// Only the results leave it, as ordinary Jacobian points (the representative
// may differ from the one the general formulas give; the point is the same).

// out = k1 * p1 + k2 * p2 by interleaved width-5 NAF (Shamir's trick). The
// points must have coordinates below p, the scalars be non-negative and the
// curve be one of the three NIST curves with a = p - 3; false otherwise.
[[nodiscard]] bool CurveEngineMultiplyAndAdd(const EccCurveParameters& params, JacobianPoint& out,
                                             const BigInteger& k1, const JacobianPoint& p1,
                                             const BigInteger& k2, const JacobianPoint& p2);
