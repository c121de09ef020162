#include "verify/algorithms/curve_engine.h"

#include <algorithm>
#include <array>
#include <vector>

#include "verify/algorithms/limb_arithmetic.h"

namespace {

constexpr int kWindow = 5;                         // width of the NAF digits
constexpr int kOddMultiples = 1 << (kWindow - 2);  // P, 3P, ..., 15P

template <size_t N>
using Element = std::array<uint64_t, N>;

constexpr uint64_t kOnes = ~uint64_t{0};

// The primes as compile-time constants, so that the multiplications fold
// their zero and all-ones limbs.
struct PrimeP256 {
  static constexpr size_t kLimbs = 4;
  static constexpr Element<4> kValue = {kOnes, 0x00000000ffffffff, 0, 0xffffffff00000001};
};
struct PrimeP384 {
  static constexpr size_t kLimbs = 6;
  static constexpr Element<6> kValue = {
      0x00000000ffffffff, 0xffffffff00000000, 0xfffffffffffffffe, kOnes, kOnes, kOnes};
};
struct PrimeP521 {
  static constexpr size_t kLimbs = 9;
  static constexpr Element<9> kValue = {kOnes, kOnes, kOnes, kOnes, kOnes,
                                        kOnes, kOnes, kOnes, 0x1ff};
};

constexpr uint64_t ConstantMontgomeryFactor(uint64_t m0) {
  uint64_t inverse = m0;
  for (int i = 0; i < 5; ++i) inverse *= 2 - m0 * inverse;
  return 0 - inverse;
}

// One operand-scanning round of the four-limb Montgomery product: t += a b[i]
// with the low halves on the carry flag and the high halves on the overflow
// flag, then t += m p for m = t0 * factor, and t shifts down one limb.
#define UPD_MONTGOMERY_ROUND(OFFSET) \
  "mov " #OFFSET                     \
  "(%[b]), %%rdx\n\t"                \
  "xor %k[zero], %k[zero]\n\t"       \
  "mulx 0(%[a]), %[lo], %[hi]\n\t"   \
  "adcx %[lo], %[t0]\n\t"            \
  "adox %[hi], %[t1]\n\t"            \
  "mulx 8(%[a]), %[lo], %[hi]\n\t"   \
  "adcx %[lo], %[t1]\n\t"            \
  "adox %[hi], %[t2]\n\t"            \
  "mulx 16(%[a]), %[lo], %[hi]\n\t"  \
  "adcx %[lo], %[t2]\n\t"            \
  "adox %[hi], %[t3]\n\t"            \
  "mulx 24(%[a]), %[lo], %[hi]\n\t"  \
  "adcx %[lo], %[t3]\n\t"            \
  "adox %[hi], %[t4]\n\t"            \
  "adcx %[zero], %[t4]\n\t"          \
  "adox %[zero], %[t5]\n\t"          \
  "adcx %[zero], %[t5]\n\t"          \
  "mov %[t0], %%rdx\n\t"             \
  "imul %[factor], %%rdx\n\t"        \
  "xor %k[zero], %k[zero]\n\t"       \
  "mulx 0(%[p]), %[lo], %[hi]\n\t"   \
  "adcx %[lo], %[t0]\n\t"            \
  "adox %[hi], %[t1]\n\t"            \
  "mulx 8(%[p]), %[lo], %[hi]\n\t"   \
  "adcx %[lo], %[t1]\n\t"            \
  "adox %[hi], %[t2]\n\t"            \
  "mulx 16(%[p]), %[lo], %[hi]\n\t"  \
  "adcx %[lo], %[t2]\n\t"            \
  "adox %[hi], %[t3]\n\t"            \
  "mulx 24(%[p]), %[lo], %[hi]\n\t"  \
  "adcx %[lo], %[t3]\n\t"            \
  "adox %[hi], %[t4]\n\t"            \
  "adcx %[zero], %[t4]\n\t"          \
  "adox %[zero], %[t5]\n\t"          \
  "adcx %[zero], %[t5]\n\t"          \
  "mov %[t1], %[t0]\n\t"             \
  "mov %[t2], %[t1]\n\t"             \
  "mov %[t3], %[t2]\n\t"             \
  "mov %[t4], %[t3]\n\t"             \
  "mov %[t5], %[t4]\n\t"             \
  "mov $0, %k[t5]\n\t"

// a b / 2^256 mod p before the final subtraction: r (four limbs) plus top,
// below 2p. Only where LimbKernelsUseMulxAdx().
void MontgomeryMul4MulxAdx(uint64_t* r, uint64_t& top, const uint64_t* a, const uint64_t* b,
                           const uint64_t* p, uint64_t factor) {
  uint64_t t0 = 0, t1 = 0, t2 = 0, t3 = 0, t4 = 0, t5 = 0;
  uint64_t lo, hi, zero;
  __asm__(UPD_MONTGOMERY_ROUND(0) UPD_MONTGOMERY_ROUND(8) UPD_MONTGOMERY_ROUND(16)
              UPD_MONTGOMERY_ROUND(24)
          : [t0] "+&r"(t0), [t1] "+&r"(t1), [t2] "+&r"(t2), [t3] "+&r"(t3), [t4] "+&r"(t4),
            [t5] "+&r"(t5), [lo] "=&r"(lo), [hi] "=&r"(hi), [zero] "=&r"(zero)
          : [a] "r"(a), [b] "r"(b), [p] "r"(p), [factor] "m"(factor)
          : "rdx", "cc", "memory");
  r[0] = t0;
  r[1] = t1;
  r[2] = t2;
  r[3] = t3;
  top = t4;
}

#undef UPD_MONTGOMERY_ROUND

// Arithmetic modulo the prime in Montgomery form (x R mod p, R = 2^(64N));
// every value is kept below p.
template <class Prime>
class MontgomeryField {
 public:
  static constexpr size_t N = Prime::kLimbs;
  static constexpr const Element<N>& p_ = Prime::kValue;
  static constexpr uint64_t factor_ = ConstantMontgomeryFactor(Prime::kValue[0]);

  MontgomeryField() {
    // R^2 mod p by one long division.
    std::array<uint64_t, 2 * N + 1> r_power{};
    r_power[2 * N] = 1;
    std::array<uint64_t, DivideScratchLimbs(2 * N + 1, N)> scratch{};
    DivideLimbs(r_power, p_, {}, r_squared_, scratch);
    Element<N> one{};
    one[0] = 1;
    Enter(one_, one);
  }

  const Element<N>& One() const { return one_; }

  // out = a b / R mod p.
  void Mul(Element<N>& out, const Element<N>& a, const Element<N>& b) const {
    if constexpr (N == 4) {
      if (use_mulx_adx_) {
        uint64_t top = 0;
        Element<4> r;
        MontgomeryMul4MulxAdx(r.data(), top, a.data(), b.data(), p_.data(), factor_);
        ReduceOnce(out, r, top);
        return;
      }
    }
    MulPortable(out, a, b);
  }

  // Coarsely Integrated Operand Scanning.
  void MulPortable(Element<N>& out, const Element<N>& a, const Element<N>& b) const {
    std::array<uint64_t, N + 2> t{};
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i) {
      uint64_t carry = 0;
#pragma GCC unroll 16
      for (size_t j = 0; j < N; ++j) {
        LimbProduct s = static_cast<LimbProduct>(a[j]) * b[i] + t[j] + carry;
        t[j] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
      }
      LimbProduct top = static_cast<LimbProduct>(t[N]) + carry;
      t[N] = static_cast<uint64_t>(top);
      t[N + 1] = static_cast<uint64_t>(top >> 64);
      const uint64_t m = t[0] * factor_;
      LimbProduct s = static_cast<LimbProduct>(m) * p_[0] + t[0];
      carry = static_cast<uint64_t>(s >> 64);
#pragma GCC unroll 16
      for (size_t j = 1; j < N; ++j) {
        s = static_cast<LimbProduct>(m) * p_[j] + t[j] + carry;
        t[j - 1] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
      }
      top = static_cast<LimbProduct>(t[N]) + carry;
      t[N - 1] = static_cast<uint64_t>(top);
      t[N] = t[N + 1] + static_cast<uint64_t>(top >> 64);
    }
    Element<N> r;
    std::copy_n(t.begin(), N, r.begin());
    ReduceOnce(out, r, t[N]);
  }

  void Sqr(Element<N>& out, const Element<N>& a) const { Mul(out, a, a); }

  void Add(Element<N>& out, const Element<N>& a, const Element<N>& b) const {
    Element<N> r;
    uint64_t carry = 0;
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i) {
      LimbProduct s = static_cast<LimbProduct>(a[i]) + b[i] + carry;
      r[i] = static_cast<uint64_t>(s);
      carry = static_cast<uint64_t>(s >> 64);
    }
    ReduceOnce(out, r, carry);
  }

  void Sub(Element<N>& out, const Element<N>& a, const Element<N>& b) const {
    uint64_t borrow = 0;
    Element<N> r;
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i) {
      LimbProduct s = static_cast<LimbProduct>(a[i]) - b[i] - borrow;
      r[i] = static_cast<uint64_t>(s);
      borrow = static_cast<uint64_t>(s >> 64) & 1;
    }
    // Adds p back when the difference went negative (mask instead of branch).
    const uint64_t mask = 0 - borrow;
    uint64_t carry = 0;
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i) {
      LimbProduct s = static_cast<LimbProduct>(r[i]) + (p_[i] & mask) + carry;
      out[i] = static_cast<uint64_t>(s);
      carry = static_cast<uint64_t>(s >> 64);
    }
  }

  void Enter(Element<N>& out, const Element<N>& x) const { Mul(out, x, r_squared_); }

  void Leave(Element<N>& out, const Element<N>& x) const {
    Element<N> one{};
    one[0] = 1;
    Mul(out, x, one);
  }

  static bool IsZero(const Element<N>& x) {
    return std::all_of(x.begin(), x.end(), [](uint64_t limb) { return limb == 0; });
  }

 private:
  // r (with an extra top bit) is below 2p: one subtraction brings it below p.
  void ReduceOnce(Element<N>& out, const Element<N>& r, uint64_t top) const {
    Element<N> d;
    uint64_t borrow = 0;
#pragma GCC unroll 16
    for (size_t i = 0; i < N; ++i) {
      LimbProduct s = static_cast<LimbProduct>(r[i]) - p_[i] - borrow;
      d[i] = static_cast<uint64_t>(s);
      borrow = static_cast<uint64_t>(s >> 64) & 1;
    }
    const bool keep = borrow > top;  // r < p
    out = keep ? r : d;
  }

  bool use_mulx_adx_ = LimbKernelsUseMulxAdx();
  Element<N> r_squared_{};
  Element<N> one_{};
};

template <size_t N>
struct Point {
  Element<N> x{};
  Element<N> y{};
  Element<N> z{};  // zero: the point at infinity
};

template <class Field>
class Curve {
 public:
  static constexpr size_t N = Field::N;
  explicit Curve(const Field& f) : f_(f) {}

  bool IsInfinity(const Point<N>& p) const { return Field::IsZero(p.z); }

  Point<N> Infinity() const {
    Point<N> p;
    p.y = f_.One();
    return p;
  }

  // dbl-2001-b (a = -3).
  void Double(Point<N>& p) const {
    if (IsInfinity(p)) return;
    Element<N> delta, gamma, beta, alpha, t, u;
    f_.Sqr(delta, p.z);
    f_.Sqr(gamma, p.y);
    f_.Mul(beta, p.x, gamma);
    f_.Sub(t, p.x, delta);
    f_.Add(u, p.x, delta);
    f_.Mul(alpha, t, u);
    f_.Add(t, alpha, alpha);
    f_.Add(alpha, t, alpha);
    // Z3 = (Y + Z)^2 - gamma - delta
    f_.Add(t, p.y, p.z);
    f_.Sqr(t, t);
    f_.Sub(t, t, gamma);
    f_.Sub(p.z, t, delta);
    // X3 = alpha^2 - 8 beta
    f_.Add(beta, beta, beta);
    f_.Add(beta, beta, beta);  // 4 beta
    f_.Add(u, beta, beta);     // 8 beta
    f_.Sqr(p.x, alpha);
    f_.Sub(p.x, p.x, u);
    // Y3 = alpha (4 beta - X3) - 8 gamma^2
    f_.Sub(beta, beta, p.x);
    f_.Mul(t, alpha, beta);
    f_.Sqr(gamma, gamma);
    f_.Add(gamma, gamma, gamma);
    f_.Add(gamma, gamma, gamma);
    f_.Add(gamma, gamma, gamma);
    f_.Sub(p.y, t, gamma);
  }

  // add-2007-bl, with the equal and opposite cases handled.
  void Add(Point<N>& p, const Point<N>& q) const {
    if (IsInfinity(q)) return;
    if (IsInfinity(p)) {
      p = q;
      return;
    }
    Element<N> z1z1, z2z2, u1, u2, s1, s2, h, i, j, r, v;
    f_.Sqr(z1z1, p.z);
    f_.Sqr(z2z2, q.z);
    f_.Mul(u1, p.x, z2z2);
    f_.Mul(u2, q.x, z1z1);
    f_.Mul(s1, p.y, q.z);
    f_.Mul(s1, s1, z2z2);
    f_.Mul(s2, q.y, p.z);
    f_.Mul(s2, s2, z1z1);
    f_.Sub(h, u2, u1);
    f_.Sub(r, s2, s1);
    if (Field::IsZero(h)) {
      if (Field::IsZero(r)) {
        Double(p);
      } else {
        p = Infinity();
      }
      return;
    }
    f_.Add(i, h, h);
    f_.Sqr(i, i);
    f_.Mul(j, h, i);
    f_.Add(r, r, r);
    f_.Mul(v, u1, i);
    // Z3 = ((Z1 + Z2)^2 - Z1Z1 - Z2Z2) H
    f_.Add(i, p.z, q.z);
    f_.Sqr(i, i);
    f_.Sub(i, i, z1z1);
    f_.Sub(i, i, z2z2);
    f_.Mul(p.z, i, h);
    // X3 = r^2 - J - 2V
    f_.Sqr(p.x, r);
    f_.Sub(p.x, p.x, j);
    f_.Sub(p.x, p.x, v);
    f_.Sub(p.x, p.x, v);
    // Y3 = r (V - X3) - 2 S1 J
    f_.Sub(v, v, p.x);
    f_.Mul(v, r, v);
    f_.Mul(s1, s1, j);
    f_.Add(s1, s1, s1);
    f_.Sub(p.y, v, s1);
  }

  void Negate(Point<N>& out, const Point<N>& p) const {
    out = p;
    Element<N> zero{};
    f_.Sub(out.y, zero, p.y);
  }

 private:
  const Field& f_;
};

// Width-w NAF digits of k, least significant first: each odd in
// (-2^(w-1), 2^(w-1)) or zero.
std::vector<int> Naf(const BigInteger& k) {
  std::vector<uint64_t> limbs(k.Limbs().begin(), k.Limbs().end());
  limbs.push_back(0);
  std::vector<int> digits;
  auto is_zero = [&limbs] {
    return std::all_of(limbs.begin(), limbs.end(), [](uint64_t l) { return l == 0; });
  };
  while (!is_zero()) {
    int digit = 0;
    if (limbs[0] & 1) {
      digit = static_cast<int>(limbs[0] & ((1u << kWindow) - 1));
      if (digit >= (1 << (kWindow - 1))) digit -= 1 << kWindow;
      // k -= digit (a small signed value).
      uint64_t add = digit < 0 ? static_cast<uint64_t>(-digit) : 0;
      uint64_t sub = digit > 0 ? static_cast<uint64_t>(digit) : 0;
      for (size_t i = 0; i < limbs.size() && (add != 0 || sub != 0); ++i) {
        LimbProduct s = static_cast<LimbProduct>(limbs[i]) + add - sub;
        limbs[i] = static_cast<uint64_t>(s);
        add = static_cast<uint64_t>(s >> 64) == 1 ? 1 : 0;
        sub = static_cast<uint64_t>(s >> 64) == ~uint64_t{0} ? 1 : 0;
      }
    }
    digits.push_back(digit);
    ShiftLimbsRight(limbs, limbs, 1);
  }
  return digits;
}

template <class Field, size_t N = Field::N>
bool ToElement(const Field& f, const BigInteger& x, Element<N>& out) {
  std::span<const uint64_t> limbs = x.Limbs();
  if (SignificantLimbs(limbs) > N) return false;
  Element<N> plain{};
  std::copy_n(limbs.begin(), std::min(limbs.size(), N), plain.begin());
  f.Enter(out, plain);
  return true;
}

template <class Field, size_t N = Field::N>
bool FromElement(const Field& f, const Element<N>& x, uint32_t limbs, BigInteger& out) {
  Element<N> plain;
  f.Leave(plain, x);
  if (!out.SetLimbCount(limbs)) return false;
  out.SetUInt(0);
  std::copy_n(plain.begin(), N, out.GetLimbs());
  return true;
}

template <class Field, size_t N = Field::N>
bool ToPoint(const Field& f, const JacobianPoint& p, Point<N>& out) {
  return ToElement(f, p.x, out.x) && ToElement(f, p.y, out.y) && ToElement(f, p.z, out.z);
}

template <class Field, size_t N = Field::N>
void OddMultiples(const Curve<Field>& curve, const Point<N>& p,
                  std::array<Point<N>, kOddMultiples>& t) {
  Point<N> twice = p;
  curve.Double(twice);
  t[0] = p;
  for (int i = 1; i < kOddMultiples; ++i) {
    t[i] = t[i - 1];
    curve.Add(t[i], twice);
  }
}

template <class Field, size_t N = Field::N>
void AddDigit(const Curve<Field>& curve, Point<N>& r, const std::array<Point<N>, kOddMultiples>& t,
              int digit) {
  if (digit > 0) {
    curve.Add(r, t[digit / 2]);
  } else if (digit < 0) {
    Point<N> minus;
    curve.Negate(minus, t[-digit / 2]);
    curve.Add(r, minus);
  }
}

template <class Prime>
bool MultiplyAndAdd(const EccCurveParameters& params, JacobianPoint& out, const BigInteger& k1,
                    const JacobianPoint& p1, const BigInteger& k2, const JacobianPoint& p2) {
  using Field = MontgomeryField<Prime>;
  constexpr size_t N = Field::N;
  // The constant must be the curve's prime (the tables are kept in one place).
  std::span<const uint64_t> p = params.p.Limbs();
  if (SignificantLimbs(p) != N ||
      !std::equal(Prime::kValue.begin(), Prime::kValue.end(), p.begin())) {
    return false;
  }
  Field f;
  Curve<Field> curve(f);
  Point<N> a;
  Point<N> b;
  if (!ToPoint(f, p1, a) || !ToPoint(f, p2, b)) return false;
  std::array<Point<N>, kOddMultiples> ta;
  std::array<Point<N>, kOddMultiples> tb;
  OddMultiples(curve, a, ta);
  OddMultiples(curve, b, tb);
  std::vector<int> d1 = Naf(k1);
  std::vector<int> d2 = Naf(k2);
  Point<N> r = curve.Infinity();
  for (size_t i = std::max(d1.size(), d2.size()); i-- > 0;) {
    curve.Double(r);
    if (i < d1.size()) AddDigit(curve, r, ta, d1[i]);
    if (i < d2.size()) AddDigit(curve, r, tb, d2[i]);
  }
  const uint32_t limbs = params.limb_count;
  if (curve.IsInfinity(r)) {
    return out.x.SetLimbCount(limbs) && out.y.SetLimbCount(limbs) && out.z.SetLimbCount(limbs) &&
           (out.x.SetUInt(0), out.y.SetUInt(1), out.z.SetUInt(0), true);
  }
  return FromElement(f, r.x, limbs, out.x) && FromElement(f, r.y, limbs, out.y) &&
         FromElement(f, r.z, limbs, out.z);
}

bool HasMinusThree(const EccCurveParameters& params) {
  BigInteger a_plus_three;
  if (!BigInteger::Copy(a_plus_three, params.a)) return false;
  BigInteger three;
  if (!three.SetLimbCount(params.a.GetLimbCount())) return false;
  three.SetUInt(3);
  (void)BigInteger::Add(a_plus_three, three);
  return BigInteger::Equals(a_plus_three, params.p);
}

}  // namespace

bool CurveEngineMultiplyAndAdd(const EccCurveParameters& params, JacobianPoint& out,
                               const BigInteger& k1, const JacobianPoint& p1, const BigInteger& k2,
                               const JacobianPoint& p2) {
  if (k1.IsNegative() || k2.IsNegative() || !HasMinusThree(params)) return false;
  for (const BigInteger* c : {&p1.x, &p1.y, &p1.z, &p2.x, &p2.y, &p2.z}) {
    if (BigInteger::Compare(*c, params.p) >= 0) return false;
  }
  switch (params.curve_id) {
    case kCurveP256:
      return MultiplyAndAdd<PrimeP256>(params, out, k1, p1, k2, p2);
    case kCurveP384:
      return MultiplyAndAdd<PrimeP384>(params, out, k1, p1, k2, p2);
    case kCurveP521:
      return MultiplyAndAdd<PrimeP521>(params, out, k1, p1, k2, p2);
    default:
      return false;
  }
}
