#include "verify/algorithms/big_integer.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <utility>

#include "verify/algorithms/limb_arithmetic.h"

namespace {

constexpr uint32_t kMaxLimbCount = 0x7fffffff / 8;  // keeps byte sizes within u32

std::unique_ptr<uint64_t[]> NewLimbs(size_t count) {
  return std::unique_ptr<uint64_t[]>(new (std::nothrow) uint64_t[count]());
}

// Owned scratch limbs for one operation.
class LimbBuffer {
 public:
  [[nodiscard]] bool Make(size_t count) {
    data_ = NewLimbs(count);
    size_ = count;
    return data_ != nullptr;
  }
  std::span<uint64_t> Span() { return {data_.get(), size_}; }

 private:
  std::unique_ptr<uint64_t[]> data_;
  size_t size_ = 0;
};

// Products reduced modulo one modulus, with the buffers made once.
class ModularProduct {
 public:
  explicit ModularProduct(std::span<const uint64_t> modulus) : modulus_(modulus) {}

  [[nodiscard]] bool Prepare() {
    const size_t n = modulus_.size();
    return product_.Make(2 * n) && scratch_.Make(DivideScratchLimbs(2 * n, n));
  }

  // out = a * b mod m; out may be a or b.
  void Multiply(std::span<uint64_t> out, std::span<const uint64_t> a, std::span<const uint64_t> b) {
    std::span<uint64_t> product = product_.Span();
    std::fill(product.begin(), product.end(), 0);
    ProductLimbs(a, b, product);
    DivideLimbs(product, modulus_, {}, out, scratch_.Span());
  }

 private:
  std::span<const uint64_t> modulus_;
  LimbBuffer product_;
  LimbBuffer scratch_;
};

// Products in Montgomery form (x R mod m, R = 2^(64n)) for an odd modulus of
// n significant limbs: no division per product.
class MontgomeryProduct {
 public:
  explicit MontgomeryProduct(std::span<const uint64_t> modulus)
      : modulus_(modulus), factor_(MontgomeryFactor(modulus[0])) {}

  [[nodiscard]] bool Prepare() {
    const size_t n = modulus_.size();
    if (!product_.Make(2 * n) || !r_squared_.Make(n)) return false;
    LimbBuffer power;
    LimbBuffer scratch;
    if (!power.Make(2 * n + 1) || !scratch.Make(DivideScratchLimbs(2 * n + 1, n))) return false;
    power.Span()[2 * n] = 1;
    DivideLimbs(power.Span(), modulus_, {}, r_squared_.Span(), scratch.Span());
    return true;
  }

  // out = a b / R mod m; out may be a or b.
  void Multiply(std::span<uint64_t> out, std::span<const uint64_t> a, std::span<const uint64_t> b) {
    std::span<uint64_t> product = product_.Span();
    std::fill(product.begin(), product.end(), 0);
    ProductLimbs(a, b, product);
    MontgomeryReduce(product, modulus_, factor_, out);
  }

  // x (below m) into Montgomery form.
  void Enter(std::span<uint64_t> out, std::span<const uint64_t> x) {
    Multiply(out, x, r_squared_.Span());
  }

  // Out of Montgomery form.
  void Leave(std::span<uint64_t> out, std::span<const uint64_t> x) {
    std::span<uint64_t> product = product_.Span();
    std::fill(product.begin(), product.end(), 0);
    std::copy(x.begin(), x.end(), product.begin());
    MontgomeryReduce(product, modulus_, factor_, out);
  }

 private:
  std::span<const uint64_t> modulus_;
  uint64_t factor_;
  LimbBuffer product_;
  LimbBuffer r_squared_;
};

// base^exponent mod m for an odd m of n significant limbs; out has n limbs.
bool MontgomeryPower(std::span<uint64_t> out, std::span<const uint64_t> base,
                     const BigInteger& exponent, std::span<const uint64_t> m) {
  const size_t n = m.size();
  MontgomeryProduct product(m);
  LimbBuffer power;
  LimbBuffer scratch;
  if (!product.Prepare() || !power.Make(n) || !scratch.Make(DivideScratchLimbs(base.size(), n))) {
    return false;
  }
  DivideLimbs(base, m, {}, power.Span(), scratch.Span());
  product.Enter(power.Span(), power.Span());
  // Left to right from the top set bit (the caller ensures one): the same
  // power with one product fewer than right to left for e = 65537.
  const uint32_t top = exponent.BitLength();
  std::copy(power.Span().begin(), power.Span().end(), out.begin());
  for (uint32_t bit = top - 1; bit-- > 0;) {
    product.Multiply(out, out, out);
    if (exponent.TestBit(bit)) product.Multiply(out, out, power.Span());
  }
  product.Leave(out, out);
  return true;
}

}  // namespace

BigInteger::BigInteger(BigInteger&& other) noexcept
    : limbs_(std::move(other.limbs_)), count_(other.count_) {
  other.count_ = 0;
}

BigInteger& BigInteger::operator=(BigInteger&& other) noexcept {
  if (this == &other) return *this;
  limbs_ = std::move(other.limbs_);
  count_ = other.count_;
  other.count_ = 0;
  return *this;
}

void BigInteger::Init() {
  limbs_.reset();
  count_ = 0;
}

void BigInteger::Free() {
  limbs_.reset();
  count_ = 0;
}

bool BigInteger::Allocate(uint32_t count) {
  if (count > kMaxLimbCount) return false;
  std::unique_ptr<uint64_t[]> limbs = NewLimbs(count);
  if (limbs == nullptr) return false;
  limbs_ = std::move(limbs);
  count_ = count;
  return true;
}

bool BigInteger::EnsureLimbCount(uint32_t count) {
  if (limbs_ != nullptr && count == count_) return true;
  return Allocate(count);
}

bool BigInteger::SetBitSize(uint32_t bits) {
  return SetLimbCount(static_cast<uint32_t>((uint64_t{bits} + 63) / 64));
}

bool BigInteger::SetLimbCount(uint32_t count) {
  if (count == count_) return true;
  return Allocate(count);
}

bool BigInteger::Resize(uint32_t count, bool keep_top) {
  if (count == count_) return true;
  if (count > kMaxLimbCount) return false;
  std::unique_ptr<uint64_t[]> limbs = NewLimbs(count);
  if (limbs == nullptr) return false;
  if (limbs_ != nullptr) {
    uint32_t kept = std::min(count, count_);
    uint32_t from = (count < count_ && keep_top) ? count_ - count : 0;
    std::copy_n(limbs_.get() + from, kept, limbs.get());
  }
  limbs_ = std::move(limbs);
  count_ = count;
  return true;
}

bool BigInteger::FromBytesBE(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return false;
  if (uint64_t{count_} * 8 < bytes.size()) {
    if (bytes.size() > uint64_t{kMaxLimbCount} * 8) return false;
    if (!Allocate(static_cast<uint32_t>((bytes.size() + 7) / 8))) return false;
  } else if (limbs_ == nullptr) {
    return false;
  }
  std::fill_n(limbs_.get(), count_, 0);
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint64_t byte = bytes[bytes.size() - 1 - i];
    limbs_[i / 8] |= byte << (8 * (i % 8));
  }
  return true;
}

bool BigInteger::ToBytesBE(std::span<uint8_t> out) const {
  if ((uint64_t{BitLength()} + 7) / 8 > out.size()) return false;
  for (size_t i = 0; i < out.size(); ++i) {
    size_t limb = i / 8;
    uint64_t value = limb < count_ && limbs_ != nullptr ? limbs_[limb] : 0;
    out[out.size() - 1 - i] = static_cast<uint8_t>(value >> (8 * (i % 8)));
  }
  return true;
}

bool BigInteger::Copy(BigInteger& destination, const BigInteger& source) {
  if (&destination == &source) return true;
  if (source.limbs_ == nullptr) {
    destination.Init();
    return true;
  }
  if (!destination.EnsureLimbCount(source.count_)) return false;
  std::copy_n(source.limbs_.get(), source.count_, destination.limbs_.get());
  return true;
}

void BigInteger::Wipe() {
  if (limbs_ != nullptr) explicit_bzero(limbs_.get(), size_t{count_} * 8);
}

void BigInteger::SetUInt(uint64_t value) {
  if (limbs_ == nullptr || count_ == 0) return;
  std::fill_n(limbs_.get(), count_, 0);
  limbs_[0] = value;
}

bool BigInteger::IsZero() const { return SignificantLimbs(Limbs()) == 0; }

bool BigInteger::IsOne() const {
  if (limbs_ == nullptr || count_ == 0 || limbs_[0] != 1) return false;
  return SignificantLimbs(Limbs()) == 1;
}

bool BigInteger::IsNegative() const {
  return limbs_ != nullptr && count_ > 0 && (limbs_[count_ - 1] >> 63) != 0;
}

bool BigInteger::Equals(const BigInteger& a, const BigInteger& b) {
  if (a.limbs_ == nullptr || b.limbs_ == nullptr || a.count_ != b.count_) return false;
  return std::equal(a.limbs_.get(), a.limbs_.get() + a.count_, b.limbs_.get());
}

int BigInteger::Compare(const BigInteger& a, const BigInteger& b) {
  if (a.limbs_ == nullptr || b.limbs_ == nullptr) return -1;
  for (uint32_t i = std::max(a.count_, b.count_); i-- > 0;) {
    uint64_t x = i < a.count_ ? a.limbs_[i] : 0;
    uint64_t y = i < b.count_ ? b.limbs_[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

uint32_t BigInteger::BitLength() const {
  size_t n = SignificantLimbs(Limbs());
  if (n == 0) return 0;
  return static_cast<uint32_t>(64 * (n - 1) + 64 - __builtin_clzll(limbs_[n - 1]));
}

int BigInteger::TestBit(uint32_t bit) const {
  if (limbs_ == nullptr || bit / 64 >= count_) return 0;
  return static_cast<int>((limbs_[bit / 64] >> (bit % 64)) & 1);
}

uint64_t BigInteger::Add(BigInteger& a, const BigInteger& b) {
  if (a.count_ != b.count_) return ~uint64_t{0};
  if (a.count_ == 0) return 0;
  return AddLimbs(a.Limbs(), b.Limbs());
}

uint64_t BigInteger::Sub(BigInteger& a, const BigInteger& b) {
  if (a.count_ != b.count_) return ~uint64_t{0};
  if (a.count_ == 0) return 0;
  return SubLimbs(a.Limbs(), b.Limbs());
}

bool BigInteger::Negate() {
  uint64_t carry = 1;
  for (uint64_t& limb : Limbs()) {
    limb = ~limb + carry;
    carry = (carry != 0 && limb == 0) ? 1 : 0;
  }
  return true;
}

bool BigInteger::Multiply(BigInteger& out, const BigInteger& a, const BigInteger& b) {
  if (a.limbs_ == nullptr || b.limbs_ == nullptr) return false;
  BigInteger product;
  if (!product.Allocate(a.count_ + b.count_)) return false;
  ProductLimbs(a.Limbs(), b.Limbs(), product.Limbs());
  out = std::move(product);
  return true;
}

bool BigInteger::MultiplyLow(BigInteger& out, const BigInteger& a, const BigInteger& b) {
  const uint32_t n = a.count_;
  if (n == 0 || b.count_ != n || a.limbs_ == nullptr || b.limbs_ == nullptr) return false;
  BigInteger product;
  if (!product.Allocate(n)) return false;
  std::span<uint64_t> p = product.Limbs();
  for (uint32_t i = 0; i < n; ++i) {
    uint64_t carry = 0;
    for (uint32_t j = 0; i + j < n; ++j) {
      LimbProduct t = static_cast<LimbProduct>(a.limbs_[i]) * b.limbs_[j] + p[i + j] + carry;
      p[i + j] = static_cast<uint64_t>(t);
      carry = static_cast<uint64_t>(t >> 64);
    }
  }
  out = std::move(product);
  return true;
}

bool BigInteger::ShiftRight(BigInteger& out, const BigInteger& a, uint32_t bits) {
  if (a.limbs_ == nullptr || a.count_ == 0) return false;
  const uint32_t out_count = out.limbs_ != nullptr ? out.count_ : a.count_;
  BigInteger shifted;
  if (!shifted.Allocate(a.count_)) return false;
  const uint32_t whole = bits / 64;
  if (whole < a.count_) {
    std::span<const uint64_t> from = a.Limbs().subspan(whole);
    ShiftLimbsRight(shifted.Limbs().first(from.size()), from, bits % 64);
  }
  if (SignificantLimbs(shifted.Limbs()) > out_count) return false;
  if (!shifted.Resize(out_count, false)) return false;
  out = std::move(shifted);
  return true;
}

bool BigInteger::KeepLowBits(BigInteger& out, const BigInteger& a, uint32_t bits) {
  if (a.limbs_ == nullptr) return false;
  const uint32_t needed = static_cast<uint32_t>((uint64_t{bits} + 63) / 64);
  const uint32_t out_count = out.limbs_ != nullptr ? out.count_ : a.count_;
  if (a.count_ < needed || out_count < needed) return false;
  BigInteger low;
  if (!low.Allocate(out_count)) return false;
  std::copy_n(a.limbs_.get(), needed, low.limbs_.get());
  if (bits % 64 != 0) low.limbs_[needed - 1] &= (uint64_t{1} << (bits % 64)) - 1;
  out = std::move(low);
  return true;
}

bool BigInteger::Reduce(BigInteger& quotient, BigInteger& remainder, const BigInteger& dividend,
                        const BigInteger& divisor) {
  if (dividend.limbs_ == nullptr || divisor.limbs_ == nullptr) return false;
  const uint32_t n = divisor.count_;
  if (dividend.count_ != 2 * n || divisor.IsZero()) return false;
  BigInteger q;
  BigInteger r;
  LimbBuffer scratch;
  if (!q.Allocate(n) || !r.Allocate(n) || !scratch.Make(DivideScratchLimbs(2 * n, n))) {
    return false;
  }
  DivideLimbs(dividend.Limbs(), divisor.Limbs(), q.Limbs(), r.Limbs(), scratch.Span());
  quotient = std::move(q);
  remainder = std::move(r);
  return true;
}

bool BigInteger::ModMulCore(BigInteger& out, const BigInteger& a, const BigInteger& b,
                            const BigInteger& m) {
  BigInteger product;
  BigInteger quotient;
  if (!Multiply(product, a, b)) return false;
  return Reduce(quotient, out, product, m);
}

bool BigInteger::ModMul(BigInteger& out, const BigInteger& a, const BigInteger& b,
                        const BigInteger& m) {
  const uint32_t n = m.count_;
  if (n == 0 || a.count_ != n || b.count_ != n) return false;
  return ModMulCore(out, a, b, m);
}

bool BigInteger::Mod(BigInteger& quotient, BigInteger& remainder, const BigInteger& a,
                     const BigInteger& m) {
  if (a.limbs_ == nullptr || m.count_ == 0 || a.count_ != m.count_) return false;
  BigInteger wide;
  if (!wide.Allocate(2 * m.count_)) return false;
  std::copy_n(a.limbs_.get(), a.count_, wide.limbs_.get());
  return Reduce(quotient, remainder, wide, m);
}

bool BigInteger::ModExp(BigInteger& out, const BigInteger& base, const BigInteger& exponent,
                        const BigInteger& m) {
  const uint32_t n = m.count_;
  if (n == 0 || base.count_ != n || exponent.count_ != n) return false;
  if (base.limbs_ == nullptr || exponent.limbs_ == nullptr || m.IsZero()) return false;
  BigInteger result;
  if (!result.Allocate(n)) return false;
  result.limbs_[0] = 1;
  if (exponent.IsZero()) {
    out = std::move(result);
    return true;
  }
  // An odd modulus (every RSA, DSA and curve modulus) takes Montgomery's form;
  // the result is the same number.
  if ((m.limbs_[0] & 1) != 0) {
    std::span<const uint64_t> modulus = m.Limbs().first(SignificantLimbs(m.Limbs()));
    if (!MontgomeryPower(result.Limbs().first(modulus.size()), base.Limbs(), exponent, modulus)) {
      return false;
    }
    out = std::move(result);
    return true;
  }
  BigInteger power;
  if (!Copy(power, base)) return false;
  ModularProduct product(m.Limbs());
  if (!product.Prepare()) return false;
  const uint32_t top = exponent.BitLength();
  for (uint32_t bit = 0; bit < top; ++bit) {
    if (exponent.TestBit(bit)) product.Multiply(result.Limbs(), result.Limbs(), power.Limbs());
    if (bit + 1 < top) product.Multiply(power.Limbs(), power.Limbs(), power.Limbs());
  }
  out = std::move(result);
  return true;
}

bool BigInteger::ModInverse(BigInteger& out, const BigInteger& a, const BigInteger& m) {
  const uint32_t n = m.count_;
  if (n == 0 || a.count_ != n || a.limbs_ == nullptr || m.limbs_ == nullptr) return false;
  // Extended Euclid over six n-limb buffers that trade places each step; the
  // coefficients run modulo 2^(64n) in two's complement.
  LimbBuffer buffers[6];
  LimbBuffer scratch;
  for (LimbBuffer& buffer : buffers) {
    if (!buffer.Make(n)) return false;
  }
  if (!scratch.Make(DivideScratchLimbs(n, n))) return false;
  std::span<uint64_t> r0 = buffers[0].Span();
  std::span<uint64_t> r1 = buffers[1].Span();
  std::span<uint64_t> rem = buffers[2].Span();
  std::span<uint64_t> t0 = buffers[3].Span();
  std::span<uint64_t> t1 = buffers[4].Span();
  std::span<uint64_t> q = buffers[5].Span();
  std::copy_n(m.limbs_.get(), n, r0.begin());
  std::copy_n(a.limbs_.get(), n, r1.begin());
  t1[0] = 1;
  while (SignificantLimbs(r1) != 0) {
    DivideLimbs(r0, r1, q, rem, scratch.Span());
    // t0 -= q * t1, low n limbs only.
    const size_t qn = SignificantLimbs(q);
    for (size_t i = 0; i < qn; ++i) {
      uint64_t borrow = 0;
      uint64_t carry = 0;
      for (size_t j = 0; i + j < n; ++j) {
        LimbProduct p = static_cast<LimbProduct>(q[i]) * t1[j] + carry;
        carry = static_cast<uint64_t>(p >> 64);
        LimbProduct d = static_cast<LimbProduct>(t0[i + j]) - static_cast<uint64_t>(p) - borrow;
        t0[i + j] = static_cast<uint64_t>(d);
        borrow = static_cast<uint64_t>(d >> 64) & 1;
      }
    }
    std::swap(r0, r1);
    std::swap(r1, rem);
    std::swap(t0, t1);
  }
  // Without a common divisor of 1 there is no inverse; a number of the right
  // size would be a wrong answer reported as success.
  if (SignificantLimbs(r0) != 1 || r0[0] != 1) return false;
  if ((t0[n - 1] >> 63) != 0) (void)AddLimbs(t0, m.Limbs());
  BigInteger result;
  if (!result.Allocate(n)) return false;
  std::copy(t0.begin(), t0.end(), result.limbs_.get());
  out = std::move(result);
  return true;
}
