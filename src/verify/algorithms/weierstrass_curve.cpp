#include "verify/algorithms/weierstrass_curve.h"

#include <utility>

#include "verify/algorithms/curve_engine.h"

namespace {

// Scratch roles shared by Classify and the addition.
enum Scratch : size_t { kZ1Z1, kZ2Z2, kU1, kU2, kS1, kS2, kH, kI, kJ, kR, kV, kX3 };

}  // namespace

WeierstrassCurve::WeierstrassCurve(const EccCurveParameters& params)
    : field_(params.p), params_(&params) {}

WeierstrassJacobian::WeierstrassJacobian(const EccCurveParameters& params)
    : WeierstrassCurve(params) {
  for (BigInteger& t : t_) (void)field_.AndSuccess(t.SetLimbCount(params.limb_count));
}

bool WeierstrassJacobian::SetInfinity(JacobianPoint& p) const {
  const uint32_t n = params_->limb_count;
  if (!p.x.SetLimbCount(n) || !p.y.SetLimbCount(n) || !p.z.SetLimbCount(n)) return false;
  p.x.SetUInt(0);
  p.y.SetUInt(1);
  p.z.SetUInt(0);
  return true;
}

bool WeierstrassJacobian::Copy(JacobianPoint& destination, const JacobianPoint& source) {
  return BigInteger::Copy(destination.x, source.x) && BigInteger::Copy(destination.y, source.y) &&
         BigInteger::Copy(destination.z, source.z);
}

bool WeierstrassJacobian::CrossTerms(const JacobianPoint& p, const JacobianPoint& q) {
  ModularArithmetic& f = field_;
  auto& t = t_;
  return f.MulMod(t[kZ1Z1], p.z, p.z) && f.MulMod(t[kZ2Z2], q.z, q.z) &&
         f.MulMod(t[kU1], p.x, t[kZ2Z2]) && f.MulMod(t[kU2], q.x, t[kZ1Z1]) &&
         f.MulMod(t[kS1], p.y, q.z) && f.MulMod(t[kS1], t[kS1], t[kZ2Z2]) &&
         f.MulMod(t[kS2], q.y, p.z) && f.MulMod(t[kS2], t[kS2], t[kZ1Z1]);
}

uint32_t WeierstrassJacobian::Classify(const JacobianPoint& p, const JacobianPoint& q) {
  if (!field_.GetSuccess() || !field_.AndSuccess(CrossTerms(p, q))) return kPointsFailure;
  if (!BigInteger::Equals(t_[kU1], t_[kU2])) return kPointsDifferentX;
  return BigInteger::Equals(t_[kS1], t_[kS2]) ? kPointsEqual : kPointsOpposite;
}

bool WeierstrassJacobian::Add(JacobianPoint& p, const JacobianPoint& q) {
  if (!field_.GetSuccess()) return false;
  if (IsInfinity(p)) return field_.AndSuccess(Copy(p, q));
  if (IsInfinity(q)) return true;
  switch (Classify(p, q)) {
    case kPointsOpposite:
      return field_.AndSuccess(SetInfinity(p));
    case kPointsEqual:
      return Double(p);
    case kPointsDifferentX:
      return field_.AndSuccess(AddDistinct(p, q));
    default:
      return false;
  }
}

// add-2007-bl over the cross terms Classify left in the scratch numbers.
bool WeierstrassJacobian::AddDistinct(JacobianPoint& p, const JacobianPoint& q) {
  ModularArithmetic& f = field_;
  auto& t = t_;
  bool ok = f.SubMod(t[kH], t[kU2], t[kU1]) && f.AddMod(t[kI], t[kH], t[kH]) &&
            f.MulMod(t[kI], t[kI], t[kI]) && f.MulMod(t[kJ], t[kH], t[kI]) &&
            f.SubMod(t[kR], t[kS2], t[kS1]) && f.AddMod(t[kR], t[kR], t[kR]) &&
            f.MulMod(t[kV], t[kU1], t[kI]);
  // X3 = r^2 - J - 2V
  ok = ok && f.MulMod(t[kX3], t[kR], t[kR]) && f.SubMod(t[kX3], t[kX3], t[kJ]) &&
       f.SubMod(t[kX3], t[kX3], t[kV]) && f.SubMod(t[kX3], t[kX3], t[kV]);
  // Y3 = r(V - X3) - 2 S1 J, built in V
  ok = ok && f.SubMod(t[kV], t[kV], t[kX3]) && f.MulMod(t[kV], t[kR], t[kV]) &&
       f.MulMod(t[kS1], t[kS1], t[kJ]) && f.AddMod(t[kS1], t[kS1], t[kS1]) &&
       f.SubMod(t[kV], t[kV], t[kS1]);
  // Z3 = ((Z1 + Z2)^2 - Z1Z1 - Z2Z2) H, built in I
  ok = ok && f.AddMod(t[kI], p.z, q.z) && f.MulMod(t[kI], t[kI], t[kI]) &&
       f.SubMod(t[kI], t[kI], t[kZ1Z1]) && f.SubMod(t[kI], t[kI], t[kZ2Z2]) &&
       f.MulMod(t[kI], t[kI], t[kH]);
  if (!ok) return false;
  std::swap(p.x, t[kX3]);
  std::swap(p.y, t[kV]);
  std::swap(p.z, t[kI]);
  return true;
}

// dbl-2007-bl with general a.
bool WeierstrassJacobian::Double(JacobianPoint& p) {
  if (!field_.GetSuccess()) return false;
  if (IsInfinity(p)) return true;
  ModularArithmetic& f = field_;
  auto& t = t_;
  BigInteger& xx = t[0];
  BigInteger& yy = t[1];
  BigInteger& yyyy = t[2];
  BigInteger& zz = t[3];
  BigInteger& s = t[4];
  BigInteger& m = t[5];
  BigInteger& x3 = t[6];
  BigInteger& y3 = t[7];
  BigInteger& z3 = t[8];
  BigInteger& w = t[9];
  bool ok = f.MulMod(xx, p.x, p.x) && f.MulMod(yy, p.y, p.y) && f.MulMod(yyyy, yy, yy) &&
            f.MulMod(zz, p.z, p.z);
  // S = 2((X + YY)^2 - XX - YYYY)
  ok = ok && f.AddMod(s, p.x, yy) && f.MulMod(s, s, s) && f.SubMod(s, s, xx) &&
       f.SubMod(s, s, yyyy) && f.AddMod(s, s, s);
  // M = 3 XX + a ZZ^2
  ok = ok && f.AddMod(m, xx, xx) && f.AddMod(m, m, xx) && f.MulMod(w, zz, zz) &&
       f.MulMod(w, params_->a, w) && f.AddMod(m, m, w);
  // X3 = M^2 - 2S
  ok = ok && f.MulMod(x3, m, m) && f.SubMod(x3, x3, s) && f.SubMod(x3, x3, s);
  // Y3 = M(S - X3) - 8 YYYY
  ok = ok && f.SubMod(y3, s, x3) && f.MulMod(y3, m, y3) && f.AddMod(w, yyyy, yyyy) &&
       f.AddMod(w, w, w) && f.AddMod(w, w, w) && f.SubMod(y3, y3, w);
  // Z3 = (Y + Z)^2 - YY - ZZ
  ok = ok && f.AddMod(z3, p.y, p.z) && f.MulMod(z3, z3, z3) && f.SubMod(z3, z3, yy) &&
       f.SubMod(z3, z3, zz);
  if (!field_.AndSuccess(ok)) return false;
  std::swap(p.x, x3);
  std::swap(p.y, y3);
  std::swap(p.z, z3);
  return true;
}

bool WeierstrassJacobian::IsOnCurve(const JacobianPoint& p) {
  if (!field_.GetSuccess()) return false;
  if (IsInfinity(p)) return true;
  ModularArithmetic& f = field_;
  auto& t = t_;
  // Y^2 = X^3 + a X Z^4 + b Z^6
  bool ok = f.MulMod(t[0], p.y, p.y) && f.MulMod(t[1], p.x, p.x) && f.MulMod(t[1], t[1], p.x) &&
            f.MulMod(t[2], p.z, p.z) && f.MulMod(t[3], t[2], t[2]) && f.MulMod(t[4], t[3], t[2]) &&
            f.MulMod(t[3], t[3], p.x) && f.MulMod(t[3], params_->a, t[3]) &&
            f.MulMod(t[4], params_->b, t[4]) && f.AddMod(t[1], t[1], t[3]) &&
            f.AddMod(t[1], t[1], t[4]);
  return field_.AndSuccess(ok) && BigInteger::Equals(t[0], t[1]);
}

bool WeierstrassJacobian::ScalarMultiply(JacobianPoint& out, const JacobianPoint& p,
                                         const BigInteger& k) {
  if (!field_.GetSuccess()) return false;
  if (IsInfinity(p) || k.IsNegative()) return field_.AndSuccess(false);
  JacobianPoint result;
  JacobianPoint power;
  if (!field_.AndSuccess(SetInfinity(result) && Copy(power, p))) return false;
  const uint32_t top = k.BitLength();
  for (uint32_t bit = 0; bit < top; ++bit) {
    if (k.TestBit(bit) && !Add(result, power)) return false;
    if (bit + 1 < top && !Double(power)) return false;
  }
  out = std::move(result);
  return true;
}

bool WeierstrassJacobian::MultiplyAndAdd(JacobianPoint& out, const BigInteger& k1,
                                         const JacobianPoint& p1, const BigInteger& k2,
                                         const JacobianPoint& p2) {
  if (!field_.GetSuccess()) return false;
  if (IsInfinity(p1) || IsInfinity(p2) || k1.IsNegative() || k2.IsNegative()) {
    return field_.AndSuccess(false);
  }
  if (CurveEngineMultiplyAndAdd(*params_, out, k1, p1, k2, p2)) return true;
  JacobianPoint second;
  return ScalarMultiply(out, p1, k1) && ScalarMultiply(second, p2, k2) && Add(out, second);
}

bool WeierstrassJacobian::ToAffine(JacobianPoint& out, const JacobianPoint& p) {
  if (!field_.GetSuccess()) return false;
  if (p.z.IsOne()) return field_.AndSuccess(Copy(out, p));
  ModularArithmetic& f = field_;
  auto& t = t_;
  bool ok = BigInteger::ModInverse(t[0], p.z, params_->p) && f.MulMod(t[1], t[0], t[0]) &&
            f.MulMod(t[2], t[1], t[0]) && f.MulMod(t[3], p.x, t[1]) && f.MulMod(t[4], p.y, t[2]) &&
            out.z.SetLimbCount(params_->limb_count);
  if (!field_.AndSuccess(ok)) return false;
  std::swap(out.x, t[3]);
  std::swap(out.y, t[4]);
  out.z.SetUInt(1);
  return true;
}
