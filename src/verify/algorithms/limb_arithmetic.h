#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Kernels over little-endian arrays of 64-bit limbs. They allocate nothing and
// never fail; the callers size the arrays.

__extension__ typedef unsigned __int128 LimbProduct;

// Chooses the multiply-accumulate kernel: mulx/adcx/adox where the processor
// has BMI2 and ADX (the default), else portable code. Returns whether the fast
// kernel is in use; lets tests run both over the same cases.
bool SetLimbKernels(bool use_mulx_adx);
// Whether the mulx/adcx/adox kernels are in use now.
bool LimbKernelsUseMulxAdx();

// a += b over a.size() limbs (b holds at least as many); returns the carry.
uint64_t AddLimbs(std::span<uint64_t> a, std::span<const uint64_t> b);
// a -= b over a.size() limbs (b holds at least as many); returns the borrow.
uint64_t SubLimbs(std::span<uint64_t> a, std::span<const uint64_t> b);

// out[0..a.size()] += a * k; returns the carry out of the top limb.
uint64_t MulAddLimb(std::span<uint64_t> out, std::span<const uint64_t> a, uint64_t k);
// out[0..a.size()] -= a * k; returns the borrow out of the top limb.
uint64_t MulSubLimb(std::span<uint64_t> out, std::span<const uint64_t> a, uint64_t k);

// out[0..a.size()) += a * k; returns the carry out of that window.
uint64_t MulAccumulate(std::span<uint64_t> out, std::span<const uint64_t> a, uint64_t k);

// Schoolbook product added into out (a.size() + b.size() limbs, zeroed by the
// caller). Leading zero limbs of a and b cost nothing.
void MultiplyLimbs(std::span<const uint64_t> a, std::span<const uint64_t> b,
                   std::span<uint64_t> out);
// a * a into out (2 * a.size() limbs, zeroed by the caller): the cross
// products once, doubled, then the diagonal squares. A zero a leaves out alone.
void SquareLimbs(std::span<const uint64_t> a, std::span<uint64_t> out);
// a * b into out (a.size() + b.size() limbs, zeroed by the caller), squaring
// when a and b are the same limbs.
void ProductLimbs(std::span<const uint64_t> a, std::span<const uint64_t> b,
                  std::span<uint64_t> out);

// out (in.size() + 1 limbs) = in << s, 0 <= s < 64.
void ShiftLimbsLeft(std::span<uint64_t> out, std::span<const uint64_t> in, unsigned s);
// out (in.size() limbs) = in >> s, 0 <= s < 64; out may be in itself.
void ShiftLimbsRight(std::span<uint64_t> out, std::span<const uint64_t> in, unsigned s);

// Number of limbs once leading zero limbs are dropped.
size_t SignificantLimbs(std::span<const uint64_t> a);
// -1, 0, 1 for equally long arrays.
int CompareLimbs(std::span<const uint64_t> a, std::span<const uint64_t> b);

// Scratch limbs DivideLimbs needs for a dividend of nu and a divisor of nv limbs.
constexpr size_t DivideScratchLimbs(size_t nu, size_t nv) { return nu + nv + 2; }

// Long division by Knuth's Algorithm D (TAOCP 4.3.1) with 64-bit digits.
// The divisor must not be zero. Quotient digits beyond q.size() are dropped
// (q may be empty); r receives the remainder, zero-filled above it, and needs
// room for the divisor's significant limbs.
void DivideLimbs(std::span<const uint64_t> u, std::span<const uint64_t> v, std::span<uint64_t> q,
                 std::span<uint64_t> r, std::span<uint64_t> scratch);

// -m0^-1 mod 2^64 for an odd m0 (the Montgomery reduction's factor).
uint64_t MontgomeryFactor(uint64_t m0);
// out = t / 2^(64n) mod m for n = m.size(), odd m and t < m * 2^(64n) held in
// 2n limbs (t is destroyed); out < m.
void MontgomeryReduce(std::span<uint64_t> t, std::span<const uint64_t> m, uint64_t factor,
                      std::span<uint64_t> out);
