#include "verify/algorithms/limb_arithmetic.h"

#include <cpuid.h>

#include <atomic>

namespace {

// BMI2's mulx and ADX's two carry chains, read once from cpuid leaf 7.
bool CpuHasMulxAdx() {
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  constexpr unsigned kBmi2 = 1u << 8;
  constexpr unsigned kAdx = 1u << 19;
  return (ebx & kBmi2) != 0 && (ebx & kAdx) != 0;
}

// Read on every product; only tests change it (relaxed order suffices).
std::atomic<bool> g_use_mulx_adx{CpuHasMulxAdx()};

// out[0..n) += a[0..n) * k with mulx: the low halves ride the carry flag
// (adcx) and the high halves the overflow flag (adox), so the two additions
// of each limb do not wait for each other. Single limbs first, then blocks of
// four; the bookkeeping uses mov, lea and jrcxz, which leave both flags alone.
uint64_t MulAccumulateAdx(uint64_t* out, const uint64_t* a, size_t n, uint64_t k) {
  uint64_t carry;
  uint64_t lo;
  uint64_t hi;
  uint64_t sum;
  size_t singles = n & 3;
  size_t blocks = n >> 2;
  __asm__ volatile(
      "xor %k[carry], %k[carry]\n\t"
      "1:\n\t"
      "jrcxz 2f\n\t"
      "mulx (%[a]), %[lo], %[hi]\n\t"
      "mov (%[out]), %[sum]\n\t"
      "adcx %[lo], %[sum]\n\t"
      "adox %[carry], %[sum]\n\t"
      "mov %[sum], (%[out])\n\t"
      "mov %[hi], %[carry]\n\t"
      "lea 8(%[a]), %[a]\n\t"
      "lea 8(%[out]), %[out]\n\t"
      "lea -1(%[n]), %[n]\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "mov %[blocks], %[n]\n\t"
      "3:\n\t"
      "jrcxz 4f\n\t"
      "mulx (%[a]), %[lo], %[hi]\n\t"
      "mov (%[out]), %[sum]\n\t"
      "adcx %[lo], %[sum]\n\t"
      "adox %[carry], %[sum]\n\t"
      "mov %[sum], (%[out])\n\t"
      "mulx 8(%[a]), %[lo], %[carry]\n\t"
      "mov 8(%[out]), %[sum]\n\t"
      "adcx %[lo], %[sum]\n\t"
      "adox %[hi], %[sum]\n\t"
      "mov %[sum], 8(%[out])\n\t"
      "mulx 16(%[a]), %[lo], %[hi]\n\t"
      "mov 16(%[out]), %[sum]\n\t"
      "adcx %[lo], %[sum]\n\t"
      "adox %[carry], %[sum]\n\t"
      "mov %[sum], 16(%[out])\n\t"
      "mulx 24(%[a]), %[lo], %[carry]\n\t"
      "mov 24(%[out]), %[sum]\n\t"
      "adcx %[lo], %[sum]\n\t"
      "adox %[hi], %[sum]\n\t"
      "mov %[sum], 24(%[out])\n\t"
      "lea 32(%[a]), %[a]\n\t"
      "lea 32(%[out]), %[out]\n\t"
      "lea -1(%[n]), %[n]\n\t"
      "jmp 3b\n\t"
      "4:\n\t"
      "mov $0, %k[sum]\n\t"
      "adcx %[sum], %[carry]\n\t"
      "adox %[sum], %[carry]\n\t"
      : [carry] "=&r"(carry), [lo] "=&r"(lo), [hi] "=&r"(hi), [sum] "=&r"(sum), [a] "+r"(a),
        [out] "+r"(out), [n] "+c"(singles)
      : "d"(k), [blocks] "r"(blocks)
      : "cc", "memory");
  return carry;
}

}  // namespace

uint64_t AddLimbs(std::span<uint64_t> a, std::span<const uint64_t> b) {
  uint64_t carry = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    LimbProduct t = static_cast<LimbProduct>(a[i]) + b[i] + carry;
    a[i] = static_cast<uint64_t>(t);
    carry = static_cast<uint64_t>(t >> 64);
  }
  return carry;
}

uint64_t SubLimbs(std::span<uint64_t> a, std::span<const uint64_t> b) {
  uint64_t borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    LimbProduct t = static_cast<LimbProduct>(a[i]) - b[i] - borrow;
    a[i] = static_cast<uint64_t>(t);
    borrow = static_cast<uint64_t>(t >> 64) & 1;
  }
  return borrow;
}

uint64_t MulAddLimb(std::span<uint64_t> out, std::span<const uint64_t> a, uint64_t k) {
  uint64_t carry = MulAccumulate(out, a, k);
  LimbProduct top = static_cast<LimbProduct>(out[a.size()]) + carry;
  out[a.size()] = static_cast<uint64_t>(top);
  return static_cast<uint64_t>(top >> 64);
}

bool SetLimbKernels(bool use_mulx_adx) {
  const bool use = use_mulx_adx && CpuHasMulxAdx();
  g_use_mulx_adx.store(use, std::memory_order_relaxed);
  return use;
}

bool LimbKernelsUseMulxAdx() { return g_use_mulx_adx.load(std::memory_order_relaxed); }

uint64_t MulAccumulate(std::span<uint64_t> out, std::span<const uint64_t> a, uint64_t k) {
  if (g_use_mulx_adx.load(std::memory_order_relaxed))
    return MulAccumulateAdx(out.data(), a.data(), a.size(), k);
  uint64_t carry = 0;
  for (size_t j = 0; j < a.size(); ++j) {
    LimbProduct t = static_cast<LimbProduct>(a[j]) * k + out[j] + carry;
    out[j] = static_cast<uint64_t>(t);
    carry = static_cast<uint64_t>(t >> 64);
  }
  return carry;
}

uint64_t MulSubLimb(std::span<uint64_t> out, std::span<const uint64_t> a, uint64_t k) {
  uint64_t carry = 0;
  uint64_t borrow = 0;
  for (size_t j = 0; j < a.size(); ++j) {
    LimbProduct p = static_cast<LimbProduct>(a[j]) * k + carry;
    carry = static_cast<uint64_t>(p >> 64);
    LimbProduct t = static_cast<LimbProduct>(out[j]) - static_cast<uint64_t>(p) - borrow;
    out[j] = static_cast<uint64_t>(t);
    borrow = static_cast<uint64_t>(t >> 64) & 1;
  }
  LimbProduct t = static_cast<LimbProduct>(out[a.size()]) - carry - borrow;
  out[a.size()] = static_cast<uint64_t>(t);
  return static_cast<uint64_t>(t >> 64) & 1;
}

void MultiplyLimbs(std::span<const uint64_t> a, std::span<const uint64_t> b,
                   std::span<uint64_t> out) {
  size_t na = SignificantLimbs(a);
  size_t nb = SignificantLimbs(b);
  if (nb == 0) return;
  std::span<const uint64_t> bs = b.first(nb);
  for (size_t i = 0; i < na; ++i) {
    if (a[i] == 0) continue;
    (void)MulAddLimb(out.subspan(i, nb + 1), bs, a[i]);
  }
}

void SquareLimbs(std::span<const uint64_t> a, std::span<uint64_t> out) {
  size_t n = SignificantLimbs(a);
  if (n == 0) return;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (a[i] == 0) continue;
    (void)MulAddLimb(out.subspan(2 * i + 1, n - i), a.subspan(i + 1, n - i - 1), a[i]);
  }
  uint64_t top = 0;
  for (size_t i = 0; i < 2 * n; ++i) {
    uint64_t next = out[i] >> 63;
    out[i] = (out[i] << 1) | top;
    top = next;
  }
  uint64_t carry = 0;
  for (size_t i = 0; i < n; ++i) {
    LimbProduct sq = static_cast<LimbProduct>(a[i]) * a[i];
    LimbProduct lo = static_cast<LimbProduct>(out[2 * i]) + static_cast<uint64_t>(sq) + carry;
    out[2 * i] = static_cast<uint64_t>(lo);
    LimbProduct hi =
        static_cast<LimbProduct>(out[2 * i + 1]) + static_cast<uint64_t>(sq >> 64) + (lo >> 64);
    out[2 * i + 1] = static_cast<uint64_t>(hi);
    carry = static_cast<uint64_t>(hi >> 64);
  }
}

void ProductLimbs(std::span<const uint64_t> a, std::span<const uint64_t> b,
                  std::span<uint64_t> out) {
  if (a.data() == b.data() && a.size() == b.size()) {
    SquareLimbs(a, out);
  } else {
    MultiplyLimbs(a, b, out);
  }
}

void ShiftLimbsLeft(std::span<uint64_t> out, std::span<const uint64_t> in, unsigned s) {
  const size_t n = in.size();
  if (s == 0) {
    for (size_t i = 0; i < n; ++i) out[i] = in[i];
    out[n] = 0;
    return;
  }
  uint64_t carry = 0;
  for (size_t i = 0; i < n; ++i) {
    uint64_t v = in[i];
    out[i] = (v << s) | carry;
    carry = v >> (64 - s);
  }
  out[n] = carry;
}

void ShiftLimbsRight(std::span<uint64_t> out, std::span<const uint64_t> in, unsigned s) {
  const size_t n = in.size();
  if (s == 0) {
    for (size_t i = 0; i < n; ++i) out[i] = in[i];
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    uint64_t high = i + 1 < n ? in[i + 1] << (64 - s) : 0;
    out[i] = (in[i] >> s) | high;
  }
}

size_t SignificantLimbs(std::span<const uint64_t> a) {
  size_t n = a.size();
  while (n > 0 && a[n - 1] == 0) --n;
  return n;
}

int CompareLimbs(std::span<const uint64_t> a, std::span<const uint64_t> b) {
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

namespace {

// (high, low) / divisor for high < divisor, so the quotient fits one limb:
// one divq instead of the library's general 128-bit division.
uint64_t DivideWide(uint64_t high, uint64_t low, uint64_t divisor, uint64_t& remainder) {
#if defined(__x86_64__)
  uint64_t quotient;
  __asm__("divq %4" : "=a"(quotient), "=d"(remainder) : "a"(low), "d"(high), "rm"(divisor) : "cc");
  return quotient;
#else
  LimbProduct num = (static_cast<LimbProduct>(high) << 64) | low;
  remainder = static_cast<uint64_t>(num % divisor);
  return static_cast<uint64_t>(num / divisor);
#endif
}

void ShortDivide(std::span<const uint64_t> u, uint64_t divisor, std::span<uint64_t> q,
                 std::span<uint64_t> r) {
  uint64_t rem = 0;
  for (size_t i = u.size(); i-- > 0;) {
    uint64_t digit = DivideWide(rem, u[i], divisor, rem);
    if (i < q.size()) q[i] = digit;
  }
  r[0] = rem;
}

// The quotient digit for un[j..j+nv] from the top two remainder limbs, lowered
// while it overshoots against the second divisor limb. It is then at most one
// too high, which the caller's add-back corrects.
uint64_t EstimateDigit(std::span<const uint64_t> un, std::span<const uint64_t> vn, size_t j) {
  const size_t nv = vn.size();
  const uint64_t vtop = vn[nv - 1];
  const uint64_t top = un[j + nv];
  const uint64_t next = un[j + nv - 1];
  uint64_t qhat = 0;
  uint64_t rhat = 0;
  bool rhat_overflow = false;
  if (top >= vtop) {
    qhat = ~uint64_t{0};
    rhat = next + vtop;
    rhat_overflow = rhat < next;
  } else {
    qhat = DivideWide(top, next, vtop, rhat);
  }
  while (!rhat_overflow && static_cast<LimbProduct>(qhat) * vn[nv - 2] >
                               ((static_cast<LimbProduct>(rhat) << 64) | un[j + nv - 2])) {
    --qhat;
    rhat += vtop;
    rhat_overflow = rhat < vtop;
  }
  return qhat;
}

}  // namespace

void DivideLimbs(std::span<const uint64_t> u, std::span<const uint64_t> v, std::span<uint64_t> q,
                 std::span<uint64_t> r, std::span<uint64_t> scratch) {
  const size_t nu = SignificantLimbs(u);
  const size_t nv = SignificantLimbs(v);
  for (uint64_t& limb : q) limb = 0;
  for (uint64_t& limb : r) limb = 0;
  if (nu < nv || (nu == nv && CompareLimbs(u.first(nu), v.first(nv)) < 0)) {
    for (size_t i = 0; i < nu; ++i) r[i] = u[i];
    return;
  }
  if (nv == 1) {
    ShortDivide(u.first(nu), v[0], q, r);
    return;
  }
  const unsigned shift = static_cast<unsigned>(__builtin_clzll(v[nv - 1]));
  std::span<uint64_t> vn = scratch.first(nv + 1);
  std::span<uint64_t> un = scratch.subspan(nv + 1, nu + 1);
  ShiftLimbsLeft(vn, v.first(nv), shift);
  ShiftLimbsLeft(un, u.first(nu), shift);
  std::span<const uint64_t> divisor = vn.first(nv);
  for (size_t j = nu - nv + 1; j-- > 0;) {
    uint64_t qhat = EstimateDigit(un, divisor, j);
    std::span<uint64_t> window = un.subspan(j, nv + 1);
    if (MulSubLimb(window, divisor, qhat) != 0) {
      --qhat;
      window[nv] += AddLimbs(window.first(nv), divisor);
    }
    if (j < q.size()) q[j] = qhat;
  }
  ShiftLimbsRight(r.first(nv), un.first(nv), shift);
}

uint64_t MontgomeryFactor(uint64_t m0) {
  // Newton's iteration doubles the correct low bits: 3, 6, 12, 24, 48, 96.
  uint64_t inverse = m0;
  for (int i = 0; i < 5; ++i) inverse *= 2 - m0 * inverse;
  return 0 - inverse;
}

void MontgomeryReduce(std::span<uint64_t> t, std::span<const uint64_t> m, uint64_t factor,
                      std::span<uint64_t> out) {
  const size_t n = m.size();
  uint64_t extra = 0;
  for (size_t i = 0; i < n; ++i) {
    uint64_t carry = MulAccumulate(t.subspan(i, n), m, t[i] * factor);
    LimbProduct top = static_cast<LimbProduct>(t[i + n]) + carry + extra;
    t[i + n] = static_cast<uint64_t>(top);
    extra = static_cast<uint64_t>(top >> 64);
  }
  std::span<uint64_t> high = t.subspan(n, n);
  if (extra != 0 || CompareLimbs(high, m) >= 0) (void)SubLimbs(high, m);
  for (size_t i = 0; i < n; ++i) out[i] = high[i];
}
