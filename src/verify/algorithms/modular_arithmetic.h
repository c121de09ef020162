#pragma once

#include <cstdint>

#include "verify/algorithms/big_integer.h"

// How products are reduced: by division, or by the FIPS 186-4 D.2 fast
// reductions of the three NIST primes.
enum ReductionKind : uint32_t {
  kReductionGeneric = 0,
  kReductionP256 = 1,
  kReductionP384 = 2,
  kReductionP521 = 3,
};

// Arithmetic modulo a number owned elsewhere. Operands and results have the
// modulus's limb count; results lie in [0, m) for inputs in [0, m). Each
// operation returns its success; the curve code ANDs those into the success
// flag, so that one failed step fails everything after it.
class ModularArithmetic {
 public:
  // The reduction kind is found by comparing the modulus with the NIST primes
  // (same limb count and value).
  explicit ModularArithmetic(const BigInteger& modulus);
  ModularArithmetic(const ModularArithmetic&) = delete;
  ModularArithmetic& operator=(const ModularArithmetic&) = delete;

  const BigInteger& GetModulus() const { return *modulus_; }
  uint32_t GetReductionKind() const { return kind_; }
  bool GetSuccess() const { return success_; }
  // Records one step's result; returns the flag after it.
  bool AndSuccess(bool step) {
    success_ = success_ && step;
    return success_;
  }

  [[nodiscard]] bool AddMod(BigInteger& out, const BigInteger& a, const BigInteger& b);
  [[nodiscard]] bool SubMod(BigInteger& out, const BigInteger& a, const BigInteger& b);
  [[nodiscard]] bool Negate(BigInteger& out, const BigInteger& a);
  [[nodiscard]] bool MulMod(BigInteger& out, const BigInteger& a, const BigInteger& b);
  // out = a * k mod m; a negative k is taken as m - |k|.
  [[nodiscard]] bool MulSmall(BigInteger& out, const BigInteger& a, int32_t k);

 private:
  // out sized to the modulus's count, with the inputs checked against it.
  [[nodiscard]] bool Prepare(BigInteger& out, const BigInteger& a, const BigInteger& b) const;
  // The product in product_ reduced into out.
  void ReduceProduct(BigInteger& out);
  void ReduceGeneric(BigInteger& out);
  // out holds a signed value from a fast reduction: brought into [0, m).
  void Normalize(BigInteger& out) const;

  const BigInteger* modulus_;
  bool success_ = true;
  uint32_t kind_ = kReductionGeneric;
  BigInteger product_;  // double width
  BigInteger small_;    // MulSmall's factor
  BigInteger scratch_;  // the long division's working limbs
};
