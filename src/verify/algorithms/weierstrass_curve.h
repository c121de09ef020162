#pragma once

#include <array>
#include <cstdint>

#include "verify/algorithms/big_integer.h"
#include "verify/algorithms/ecc_curves.h"
#include "verify/algorithms/modular_arithmetic.h"

// Results of WeierstrassCurve::Classify.
enum PointRelation : uint32_t {
  kPointsDifferentX = 0,
  kPointsEqual = 1,
  kPointsOpposite = 2,
  kPointsFailure = 3,
};

// Short-Weierstrass curve y^2 = x^3 + ax + b over the curve's prime field.
class WeierstrassCurve {
 public:
  explicit WeierstrassCurve(const EccCurveParameters& params);
  virtual ~WeierstrassCurve() = default;
  WeierstrassCurve(const WeierstrassCurve&) = delete;
  WeierstrassCurve& operator=(const WeierstrassCurve&) = delete;

  virtual uint32_t Classify(const JacobianPoint& p, const JacobianPoint& q) = 0;
  [[nodiscard]] virtual bool IsOnCurve(const JacobianPoint& p) = 0;
  // p = p + q.
  [[nodiscard]] virtual bool Add(JacobianPoint& p, const JacobianPoint& q) = 0;
  // p = 2p.
  [[nodiscard]] virtual bool Double(JacobianPoint& p) = 0;

  // False once any step has failed.
  bool GetSuccess() const { return field_.GetSuccess(); }

 protected:
  ModularArithmetic field_;
  const EccCurveParameters* params_;
};

// The curve in Jacobian coordinates with general a (add-2007-bl and
// dbl-2007-bl of the Explicit-Formulas Database). Every step's success is
// ANDed into the field's flag; a cleared flag fails what follows.
class WeierstrassJacobian final : public WeierstrassCurve {
 public:
  explicit WeierstrassJacobian(const EccCurveParameters& params);

  uint32_t Classify(const JacobianPoint& p, const JacobianPoint& q) override;
  [[nodiscard]] bool IsOnCurve(const JacobianPoint& p) override;
  [[nodiscard]] bool Add(JacobianPoint& p, const JacobianPoint& q) override;
  [[nodiscard]] bool Double(JacobianPoint& p) override;

  // out = k * p; p at infinity or a negative k (top bit set) fails.
  [[nodiscard]] bool ScalarMultiply(JacobianPoint& out, const JacobianPoint& p,
                                    const BigInteger& k);
  // out = k1 p1 + k2 p2, the sum verification needs. The NIST curves take the
  // fixed-width engine (curve_engine.h); anything else two ScalarMultiply
  // calls and an Add.
  [[nodiscard]] bool MultiplyAndAdd(JacobianPoint& out, const BigInteger& k1,
                                    const JacobianPoint& p1, const BigInteger& k2,
                                    const JacobianPoint& p2);
  // out = (X/Z^2, Y/Z^3, 1).
  [[nodiscard]] bool ToAffine(JacobianPoint& out, const JacobianPoint& p);

  static bool IsInfinity(const JacobianPoint& p) { return p.z.IsZero(); }
  [[nodiscard]] bool SetInfinity(JacobianPoint& p) const;
  [[nodiscard]] static bool Copy(JacobianPoint& destination, const JacobianPoint& source);

 private:
  // Fills U1 = X1*Z2^2, U2 = X2*Z1^2, S1 = Y1*Z2^3, S2 = Y2*Z1^3 and Z1^2, Z2^2.
  [[nodiscard]] bool CrossTerms(const JacobianPoint& p, const JacobianPoint& q);
  [[nodiscard]] bool AddDistinct(JacobianPoint& p, const JacobianPoint& q);

  std::array<BigInteger, 12> t_;
};
