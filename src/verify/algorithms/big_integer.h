#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Unsigned multi-precision number of 64-bit limbs, least significant first.
// The limb count is the caller's choice and is never normalised: leading zero
// limbs are part of the number's size, and modular operations want every
// operand at the modulus's count. Failures (no memory, sizes that do not fit)
// are reported as false; nothing throws. Every operation accepts an output
// that is also one of its inputs.
//
// The curve arithmetic and the modular inverse also read numbers as two's
// complement values of their limb count (IsNegative, Negate).
class BigInteger {
 public:
  BigInteger() = default;
  BigInteger(BigInteger&& other) noexcept;
  BigInteger& operator=(BigInteger&& other) noexcept;
  BigInteger(const BigInteger&) = delete;
  BigInteger& operator=(const BigInteger&) = delete;
  ~BigInteger() = default;

  // Storage and conversion.
  void Init();
  void Free();
  uint32_t GetLimbCount() const { return count_; }
  uint64_t* GetLimbs() { return limbs_.get(); }
  const uint64_t* GetLimbs() const { return limbs_.get(); }
  std::span<uint64_t> Limbs() { return {limbs_.get(), limbs_ ? count_ : 0u}; }
  std::span<const uint64_t> Limbs() const { return {limbs_.get(), limbs_ ? count_ : 0u}; }
  uint32_t GetByteSize() const { return count_ * 8; }
  bool HasStorage() const { return limbs_ != nullptr; }

  // ceil(bits / 64) limbs; an unchanged count keeps array and value, any
  // other count gets a new array of unspecified content.
  [[nodiscard]] bool SetBitSize(uint32_t bits);
  [[nodiscard]] bool SetLimbCount(uint32_t count);
  // New count keeping the value (growing) or the low limbs (shrinking), or
  // with keep_top the top limbs, a right shift by whole limbs.
  [[nodiscard]] bool Resize(uint32_t count, bool keep_top);
  // Big-endian bytes. Keeps the limb count when the array already has room,
  // otherwise takes ceil(size / 8) limbs; empty input: false.
  [[nodiscard]] bool FromBytesBE(std::span<const uint8_t> bytes);
  // Writes the value big-endian right-aligned into out (exactly out.size()
  // bytes); false when it does not fit.
  [[nodiscard]] bool ToBytesBE(std::span<uint8_t> out) const;
  [[nodiscard]] static bool Copy(BigInteger& destination, const BigInteger& source);
  void Wipe();
  void SetUInt(uint64_t value);

  // Tests and comparison.
  bool IsZero() const;
  bool IsOne() const;
  bool IsNegative() const;
  // Same count and same limbs.
  static bool Equals(const BigInteger& a, const BigInteger& b);
  // -1, 0, 1 over the larger count (missing limbs read as 0); -1 when either
  // has no storage.
  static int Compare(const BigInteger& a, const BigInteger& b);
  static bool IsEqual(const BigInteger& a, const BigInteger& b) { return Compare(a, b) == 0; }
  uint32_t BitLength() const;
  int TestBit(uint32_t bit) const;

  // Arithmetic. Add and Sub work in place on a with equal counts and return
  // the carry or borrow; different counts return all ones and change nothing.
  static uint64_t Add(BigInteger& a, const BigInteger& b);
  static uint64_t Sub(BigInteger& a, const BigInteger& b);
  [[nodiscard]] bool Negate();
  // out = a * b with count(a) + count(b) limbs (squares when a is b).
  [[nodiscard]] static bool Multiply(BigInteger& out, const BigInteger& a, const BigInteger& b);
  // out = a * b mod 2^(64n) for equal counts n.
  [[nodiscard]] static bool MultiplyLow(BigInteger& out, const BigInteger& a, const BigInteger& b);
  // out = a >> bits in out's count (given a's count when it has no storage).
  [[nodiscard]] static bool ShiftRight(BigInteger& out, const BigInteger& a, uint32_t bits);
  // out = a mod 2^bits.
  [[nodiscard]] static bool KeepLowBits(BigInteger& out, const BigInteger& a, uint32_t bits);

  // Modular arithmetic: operands at the modulus's count n unless stated.
  // Reduce divides a dividend of exactly 2n limbs (Knuth's Algorithm D);
  // quotient digits beyond n limbs are not kept.
  [[nodiscard]] static bool Reduce(BigInteger& quotient, BigInteger& remainder,
                                   const BigInteger& dividend, const BigInteger& divisor);
  [[nodiscard]] static bool ModMulCore(BigInteger& out, const BigInteger& a, const BigInteger& b,
                                       const BigInteger& m);
  [[nodiscard]] static bool ModMul(BigInteger& out, const BigInteger& a, const BigInteger& b,
                                   const BigInteger& m);
  [[nodiscard]] static bool Mod(BigInteger& quotient, BigInteger& remainder, const BigInteger& a,
                                const BigInteger& m);
  [[nodiscard]] static bool ModExp(BigInteger& out, const BigInteger& base,
                                   const BigInteger& exponent, const BigInteger& m);
  // a^-1 mod m for a prime to m (not tested: callers pass a prime m, 0 < a < m).
  [[nodiscard]] static bool ModInverse(BigInteger& out, const BigInteger& a, const BigInteger& m);

 private:
  // A fresh array of count limbs (zeroed) replacing the current one.
  [[nodiscard]] bool Allocate(uint32_t count);
  // Storage of count limbs, reusing the array when the count matches.
  [[nodiscard]] bool EnsureLimbCount(uint32_t count);

  std::unique_ptr<uint64_t[]> limbs_;
  uint32_t count_ = 0;
};
