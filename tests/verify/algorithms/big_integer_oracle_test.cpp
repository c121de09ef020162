// Big-integer arithmetic against Python's integers: the cases come from
// big_integer_cases.py, run at test time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/python_oracle.h"
#include "support/temp_dir.h"
#include "verify/algorithms/big_integer.h"
#include "verify/algorithms/hex_util.h"
#include "verify/algorithms/limb_arithmetic.h"

namespace upd::test {
namespace {

std::vector<std::string> GeneratedCases() {
  return RunPythonScript("tests/verify/algorithms/big_integer_cases.py");
}

// Runs one case line; returns the failure text, empty when it matched.
std::string RunCase(const std::string& line) {
  std::istringstream in(line);
  std::string op;
  uint32_t n = 0;
  in >> op >> n;
  auto next = [&in] {
    std::string s;
    in >> s;
    return s;
  };
  auto expect = [](const std::string& what, const std::string& got, const std::string& want) {
    return got == want ? std::string() : what + " got " + got + " want " + want;
  };
  BigInteger out;
  if (op == "mul") {
    uint32_t nb = 0;
    in >> nb;
    BigInteger a = NumberFromHex(next(), n);
    BigInteger b = NumberFromHex(next(), nb);
    if (!BigInteger::Multiply(out, a, b)) return "Multiply failed";
    return expect("product", NumberToHex(out), next());
  }
  if (op == "sqr") {
    BigInteger a = NumberFromHex(next(), n);
    if (!BigInteger::Multiply(out, a, a)) return "Multiply failed";
    return expect("square", NumberToHex(out), next());
  }
  if (op == "mullow") {
    BigInteger a = NumberFromHex(next(), n);
    BigInteger b = NumberFromHex(next(), n);
    if (!BigInteger::MultiplyLow(out, a, b)) return "MultiplyLow failed";
    return expect("low product", NumberToHex(out), next());
  }
  if (op == "reduce") {
    BigInteger u = NumberFromHex(next(), 2 * n);
    BigInteger v = NumberFromHex(next(), n);
    BigInteger q;
    if (!BigInteger::Reduce(q, out, u, v)) return "Reduce failed";
    std::string failure = expect("quotient", NumberToHex(q), next());
    return failure.empty() ? expect("remainder", NumberToHex(out), next()) : failure;
  }
  if (op == "modmul") {
    BigInteger a = NumberFromHex(next(), n);
    BigInteger b = NumberFromHex(next(), n);
    BigInteger m = NumberFromHex(next(), n);
    if (!BigInteger::ModMul(out, a, b, m)) return "ModMul failed";
    return expect("modular product", NumberToHex(out), next());
  }
  if (op == "modexp") {
    BigInteger base = NumberFromHex(next(), n);
    BigInteger e = NumberFromHex(next(), n);
    BigInteger m = NumberFromHex(next(), n);
    if (!BigInteger::ModExp(out, base, e, m)) return "ModExp failed";
    return expect("power", NumberToHex(out), next());
  }
  if (op == "modinv") {
    BigInteger a = NumberFromHex(next(), n);
    BigInteger m = NumberFromHex(next(), n);
    bool ok = BigInteger::ModInverse(out, a, m);
    return expect("inverse", ok ? NumberToHex(out) : "none", next());
  }
  if (op == "shr") {
    BigInteger a = NumberFromHex(next(), n);
    uint32_t bits = 0;
    uint32_t out_limbs = 0;
    in >> bits >> out_limbs;
    if (!out.SetLimbCount(out_limbs)) return "SetLimbCount failed";
    bool ok = BigInteger::ShiftRight(out, a, bits);
    return expect("shifted", ok ? NumberToHex(out) : "none", next());
  }
  return "unknown operation " + op;
}

// Both multiply-accumulate kernels run over the same cases.
class BigIntegerOracleTest : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { (void)SetLimbKernels(true); }
};

TEST_P(BigIntegerOracleTest, MatchesPythonIntegers) {
  if (SetLimbKernels(GetParam()) != GetParam()) GTEST_SKIP() << "no BMI2/ADX on this processor";
  std::vector<std::string> cases = GeneratedCases();
  ASSERT_GT(cases.size(), 1000u) << "the case generator did not run";
  for (const std::string& line : cases) {
    std::string failure = RunCase(line);
    EXPECT_TRUE(failure.empty()) << line.substr(0, 120) << "...: " << failure;
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, BigIntegerOracleTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MulxAdx" : "Portable"; });

}  // namespace
}  // namespace upd::test
