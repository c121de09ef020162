#include "verify/algorithms/modular_arithmetic.h"

#include <algorithm>
#include <array>

#include "verify/algorithms/ecc_curves.h"
#include "verify/algorithms/limb_arithmetic.h"

namespace {

// One term of a FIPS 186-4 D.2 fast reduction: a coefficient and the 32-bit
// words of the product it takes, listed from the most significant word down
// as the standard writes them (-1 for a zero word).
template <size_t W>
struct ReductionTerm {
  int coefficient;
  std::array<int, W> words;
};

// T = s1 + 2s2 + 2s3 + s4 + s5 - s6 - s7 - s8 - s9 (D.2.3).
constexpr ReductionTerm<8> kP256Terms[] = {
    {1, {7, 6, 5, 4, 3, 2, 1, 0}},         {2, {15, 14, 13, 12, 11, -1, -1, -1}},
    {2, {-1, 15, 14, 13, 12, -1, -1, -1}}, {1, {15, 14, -1, -1, -1, 10, 9, 8}},
    {1, {8, 13, 15, 14, 13, 11, 10, 9}},   {-1, {10, 8, -1, -1, -1, 13, 12, 11}},
    {-1, {11, 9, -1, -1, 15, 14, 13, 12}}, {-1, {12, -1, 10, 9, 8, 15, 14, 13}},
    {-1, {13, -1, 11, 10, 9, -1, 15, 14}},
};

// T = s1 + 2s2 + s3 + s4 + s5 + s6 + s7 - s8 - s9 - s10 (D.2.4).
constexpr ReductionTerm<12> kP384Terms[] = {
    {1, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
    {2, {-1, -1, -1, -1, -1, 23, 22, 21, -1, -1, -1, -1}},
    {1, {23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12}},
    {1, {20, 19, 18, 17, 16, 15, 14, 13, 12, 23, 22, 21}},
    {1, {19, 18, 17, 16, 15, 14, 13, 12, 20, -1, 23, -1}},
    {1, {-1, -1, -1, -1, 23, 22, 21, 20, -1, -1, -1, -1}},
    {1, {-1, -1, -1, -1, -1, -1, 23, 22, 21, -1, -1, 20}},
    {-1, {22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 23}},
    {-1, {-1, -1, -1, -1, -1, -1, -1, 23, 22, 21, 20, -1}},
    {-1, {-1, -1, -1, -1, -1, -1, -1, 23, 23, -1, -1, -1}},
};

constexpr unsigned kP521Bits = 521;

uint32_t Word(std::span<const uint64_t> limbs, int index) {
  uint64_t limb = limbs[static_cast<size_t>(index) / 2];
  return static_cast<uint32_t>(index % 2 ? limb >> 32 : limb);
}

// Sums the terms word by word with signed carries; out receives W/2 limbs of
// value and the signed carry spread over the limbs above them.
template <size_t W, size_t T>
void FastReduce(std::span<const uint64_t> product, const ReductionTerm<W> (&terms)[T],
                std::span<uint64_t> out) {
  std::array<int64_t, W> sums{};
  for (const ReductionTerm<W>& term : terms) {
    for (size_t k = 0; k < W; ++k) {
      int index = term.words[W - 1 - k];
      if (index >= 0) sums[k] += term.coefficient * static_cast<int64_t>(Word(product, index));
    }
  }
  int64_t carry = 0;
  for (size_t k = 0; k < W; k += 2) {
    int64_t low = sums[k] + carry;
    int64_t high = sums[k + 1] + (low >> 32);
    carry = high >> 32;
    out[k / 2] =
        static_cast<uint32_t>(low) | (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32);
  }
  for (size_t i = W / 2; i < out.size(); ++i) {
    out[i] = static_cast<uint64_t>(carry);
    carry >>= 63;
  }
}

// p = 2^521 - 1: the low 521 bits plus the product shifted right by 521.
void ReduceP521(std::span<const uint64_t> product, std::span<uint64_t> out) {
  const unsigned top_bits = kP521Bits % 64;
  for (size_t i = 0; i < 9; ++i) {
    out[i] = (product[8 + i] >> top_bits) | (product[9 + i] << (64 - top_bits));
  }
  std::array<uint64_t, 9> low{};
  std::copy_n(product.begin(), 9, low.begin());
  low[8] &= (uint64_t{1} << top_bits) - 1;
  (void)AddLimbs(out, low);
}

uint32_t FindReductionKind(const BigInteger& modulus) {
  struct Fast {
    uint32_t curve;
    uint32_t kind;
  };
  for (Fast fast : {Fast{kCurveP256, kReductionP256}, Fast{kCurveP384, kReductionP384},
                    Fast{kCurveP521, kReductionP521}}) {
    BigInteger prime;
    if (LoadCurvePrime(fast.curve, prime) && BigInteger::Equals(prime, modulus)) return fast.kind;
  }
  return kReductionGeneric;
}

// Highest product bit the fast reductions accept (inputs below 2^bits each).
uint32_t FastProductBits(uint32_t kind) {
  switch (kind) {
    case kReductionP256:
      return 512;
    case kReductionP384:
      return 768;
    case kReductionP521:
      return 2 * kP521Bits;
    default:
      return 0;
  }
}

}  // namespace

ModularArithmetic::ModularArithmetic(const BigInteger& modulus) : modulus_(&modulus) {
  kind_ = FindReductionKind(modulus);
  const uint32_t n = modulus.GetLimbCount();
  success_ = n > 0 && !modulus.IsZero() && product_.SetLimbCount(2 * n) && small_.SetLimbCount(n) &&
             scratch_.SetLimbCount(static_cast<uint32_t>(DivideScratchLimbs(2 * n, n)));
}

bool ModularArithmetic::Prepare(BigInteger& out, const BigInteger& a, const BigInteger& b) const {
  const uint32_t n = modulus_->GetLimbCount();
  if (!product_.HasStorage() || a.GetLimbCount() != n || b.GetLimbCount() != n) return false;
  if (!a.HasStorage() || !b.HasStorage()) return false;
  return out.SetLimbCount(n) && out.HasStorage();
}

bool ModularArithmetic::AddMod(BigInteger& out, const BigInteger& a, const BigInteger& b) {
  if (!Prepare(out, a, b)) return false;
  std::span<uint64_t> r = out.Limbs();
  std::span<const uint64_t> m = modulus_->Limbs();
  std::span<const uint64_t> x = a.Limbs();
  std::span<const uint64_t> y = b.Limbs();
  uint64_t carry = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    LimbProduct t = static_cast<LimbProduct>(x[i]) + y[i] + carry;
    r[i] = static_cast<uint64_t>(t);
    carry = static_cast<uint64_t>(t >> 64);
  }
  if (carry != 0 || CompareLimbs(r, m) >= 0) (void)SubLimbs(r, m);
  return true;
}

bool ModularArithmetic::SubMod(BigInteger& out, const BigInteger& a, const BigInteger& b) {
  if (!Prepare(out, a, b)) return false;
  std::span<uint64_t> r = out.Limbs();
  std::span<const uint64_t> x = a.Limbs();
  std::span<const uint64_t> y = b.Limbs();
  uint64_t borrow = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    LimbProduct t = static_cast<LimbProduct>(x[i]) - y[i] - borrow;
    r[i] = static_cast<uint64_t>(t);
    borrow = static_cast<uint64_t>(t >> 64) & 1;
  }
  if (borrow != 0) (void)AddLimbs(r, modulus_->Limbs());
  return true;
}

bool ModularArithmetic::Negate(BigInteger& out, const BigInteger& a) {
  if (!Prepare(out, a, a)) return false;
  if (a.IsZero()) {
    out.SetUInt(0);
    return true;
  }
  std::span<uint64_t> r = out.Limbs();
  std::span<const uint64_t> m = modulus_->Limbs();
  std::span<const uint64_t> x = a.Limbs();
  uint64_t borrow = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    LimbProduct t = static_cast<LimbProduct>(m[i]) - x[i] - borrow;
    r[i] = static_cast<uint64_t>(t);
    borrow = static_cast<uint64_t>(t >> 64) & 1;
  }
  return true;
}

bool ModularArithmetic::MulMod(BigInteger& out, const BigInteger& a, const BigInteger& b) {
  if (!Prepare(out, a, b)) return false;
  std::span<uint64_t> product = product_.Limbs();
  std::fill(product.begin(), product.end(), 0);
  ProductLimbs(a.Limbs(), b.Limbs(), product);
  ReduceProduct(out);
  return true;
}

bool ModularArithmetic::MulSmall(BigInteger& out, const BigInteger& a, int32_t k) {
  if (!small_.HasStorage()) return false;
  const uint64_t magnitude =
      k < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(k)) : static_cast<uint64_t>(k);
  small_.SetUInt(magnitude);
  if (k < 0) {
    std::span<uint64_t> s = small_.Limbs();
    std::span<const uint64_t> m = modulus_->Limbs();
    uint64_t borrow = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      LimbProduct t = static_cast<LimbProduct>(m[i]) - s[i] - borrow;
      s[i] = static_cast<uint64_t>(t);
      borrow = static_cast<uint64_t>(t >> 64) & 1;
    }
  }
  return MulMod(out, a, small_);
}

void ModularArithmetic::ReduceProduct(BigInteger& out) {
  const uint32_t fast_bits = FastProductBits(kind_);
  if (fast_bits == 0 || product_.BitLength() > fast_bits) {
    ReduceGeneric(out);
    return;
  }
  std::span<const uint64_t> product = product_.Limbs();
  if (kind_ == kReductionP256) {
    FastReduce(product, kP256Terms, out.Limbs());
  } else if (kind_ == kReductionP384) {
    FastReduce(product, kP384Terms, out.Limbs());
  } else {
    ReduceP521(product, out.Limbs());
  }
  Normalize(out);
}

void ModularArithmetic::ReduceGeneric(BigInteger& out) {
  DivideLimbs(product_.Limbs(), modulus_->Limbs(), {}, out.Limbs(), scratch_.Limbs());
}

void ModularArithmetic::Normalize(BigInteger& out) const {
  std::span<uint64_t> r = out.Limbs();
  std::span<const uint64_t> m = modulus_->Limbs();
  while (out.IsNegative()) (void)AddLimbs(r, m);
  while (CompareLimbs(r, m) >= 0) (void)SubLimbs(r, m);
}
