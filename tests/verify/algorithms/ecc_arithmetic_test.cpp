// Field and point arithmetic of the NIST curves against OpenSSL's domain
// parameters and Python's integers (ecc_cases.py, run at test time).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/python_oracle.h"
#include "support/temp_dir.h"
#include "verify/algorithms/ecc_curves.h"
#include "verify/algorithms/hex_util.h"
#include "verify/algorithms/limb_arithmetic.h"
#include "verify/algorithms/modular_arithmetic.h"
#include "verify/algorithms/weierstrass_curve.h"

namespace upd::test {
namespace {

std::vector<std::string> GeneratedCases() {
  return RunPythonScript("tests/verify/algorithms/ecc_cases.py");
}

class EccCaseRunner {
 public:
  std::string Run(const std::string& line) {
    in_.clear();
    in_.str(line);
    std::string op;
    in_ >> op;
    if (op == "generic") return Generic();
    uint32_t id = 0;
    in_ >> id;
    const EccCurveParameters& params = Params(id);
    current_ = &params;
    if (op == "params") return Parameters(params);
    if (op == "field") return Field(params);
    if (op == "small") return Small(params);
    WeierstrassJacobian curve(params);
    if (op == "add" || op == "dbl") {
      JacobianPoint p = Point(params);
      bool ok = false;
      if (op == "add") {
        JacobianPoint q = Point(params);
        ok = curve.Add(p, q);
      } else {
        ok = curve.Double(p);
      }
      return ok ? Affine(curve, p) : "operation failed";
    }
    if (op == "oncurve") {
      JacobianPoint p = Point(params);
      std::string want = Next();
      return Expect("on curve", curve.IsOnCurve(p) ? "1" : "0", want);
    }
    if (op == "scalar") {
      JacobianPoint p = Point(params);
      BigInteger k = NumberFromHex(Next(), params.limb_count);
      JacobianPoint out;
      return curve.ScalarMultiply(out, p, k) ? Affine(curve, out) : "ScalarMultiply failed";
    }
    if (op == "combo") {
      BigInteger k1 = NumberFromHex(Next(), params.limb_count);
      JacobianPoint p1 = Point(params);
      BigInteger k2 = NumberFromHex(Next(), params.limb_count);
      JacobianPoint p2 = Point(params);
      JacobianPoint out;
      return curve.MultiplyAndAdd(out, k1, p1, k2, p2) ? Affine(curve, out)
                                                       : "MultiplyAndAdd failed";
    }
    return "unknown operation " + op;
  }

 private:
  const EccCurveParameters& Params(uint32_t id) {
    EccCurveParameters& params = params_[id];
    if (params.limb_count == 0 && !LoadCurveParameters(id, params)) std::abort();
    return params;
  }

  std::string Next() {
    std::string s;
    in_ >> s;
    return s;
  }

  static std::string Expect(const std::string& what, const std::string& got,
                            const std::string& want) {
    return got == want ? std::string() : what + " got " + got + " want " + want;
  }

  // Strips the extra limbs the curve carries beyond its coordinate size.
  static std::string Coordinate(const BigInteger& n, const EccCurveParameters& params) {
    std::string hex = NumberToHex(n);
    return hex.substr(hex.size() - 2 * params.coordinate_bytes);
  }

  JacobianPoint Point(const EccCurveParameters& params) {
    JacobianPoint p;
    p.x = NumberFromHex(Next(), params.limb_count);
    p.y = NumberFromHex(Next(), params.limb_count);
    p.z = NumberFromHex(Next(), params.limb_count);
    return p;
  }

  std::string Affine(WeierstrassJacobian& curve, const JacobianPoint& p) {
    const EccCurveParameters& params = *current_;
    std::string want_x = Next();
    if (want_x == "inf") {
      return WeierstrassJacobian::IsInfinity(p) ? "" : "expected the point at infinity";
    }
    std::string want_y = Next();
    JacobianPoint a;
    if (!curve.ToAffine(a, p)) return "ToAffine failed";
    std::string failure = Expect("x", Coordinate(a.x, params), want_x);
    return failure.empty() ? Expect("y", Coordinate(a.y, params), want_y) : failure;
  }

  std::string Parameters(const EccCurveParameters& params) {
    for (const BigInteger* n :
         {&params.p, &params.a, &params.b, &params.n, &params.g.x, &params.g.y}) {
      std::string failure = Expect("parameter", Coordinate(*n, params), Next());
      if (!failure.empty()) return failure;
      if (n->GetLimbCount() != params.limb_count) return "parameter limb count";
    }
    return params.g.z.IsOne() && params.cofactor.IsOne() ? "" : "Gz or cofactor not 1";
  }

  std::string Field(const EccCurveParameters& params) {
    ModularArithmetic field(params.p);
    if (field.GetReductionKind() != params.curve_id) return "fast reduction not chosen";
    std::string op = Next();
    BigInteger a = NumberFromHex(Next(), params.limb_count);
    BigInteger b = NumberFromHex(Next(), params.limb_count);
    return Apply(field, op, a, b, params.limb_count, Next());
  }

  std::string Small(const EccCurveParameters& params) {
    ModularArithmetic field(params.p);
    int32_t k = 0;
    in_ >> k;
    BigInteger a = NumberFromHex(Next(), params.limb_count);
    BigInteger out;
    if (!field.MulSmall(out, a, k)) return "MulSmall failed";
    return Expect("small product", Coordinate(out, params), Next());
  }

  std::string Generic() {
    uint32_t n = 0;
    in_ >> n;
    BigInteger m = NumberFromHex(Next(), n);
    ModularArithmetic field(m);
    if (field.GetReductionKind() != kReductionGeneric) return "fast reduction on a generic modulus";
    std::string op = Next();
    BigInteger a = NumberFromHex(Next(), n);
    BigInteger b = NumberFromHex(Next(), n);
    return Apply(field, op, a, b, n, Next());
  }

  static std::string Apply(ModularArithmetic& field, const std::string& op, BigInteger& a,
                           BigInteger& b, uint32_t limbs, const std::string& want) {
    BigInteger out;
    bool ok = false;
    if (op == "add") ok = field.AddMod(out, a, b);
    if (op == "sub") ok = field.SubMod(out, a, b);
    if (op == "mul") ok = field.MulMod(out, a, b);
    if (op == "sqr") ok = field.MulMod(out, a, a);
    if (op == "neg") ok = field.Negate(out, a);
    if (!ok) return op + " failed";
    if (out.GetLimbCount() != limbs) return op + " changed the limb count";
    std::string hex = NumberToHex(out);
    return Expect(op, hex.substr(hex.size() - want.size()), want);
  }

  std::map<uint32_t, EccCurveParameters> params_;
  const EccCurveParameters* current_ = nullptr;
  std::istringstream in_;
};

// Both multiply kernels run over the same cases.
class EccArithmeticTest : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { (void)SetLimbKernels(true); }
};

TEST_P(EccArithmeticTest, MatchesOpenSslParametersAndPythonIntegers) {
  if (SetLimbKernels(GetParam()) != GetParam()) GTEST_SKIP() << "no BMI2/ADX on this processor";
  std::vector<std::string> cases = GeneratedCases();
  ASSERT_GT(cases.size(), 1000u) << "the case generator did not run";
  EccCaseRunner runner;
  for (const std::string& line : cases) {
    std::string failure = runner.Run(line);
    EXPECT_TRUE(failure.empty()) << line.substr(0, 100) << "...: " << failure;
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EccArithmeticTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MulxAdx" : "Portable"; });

}  // namespace
}  // namespace upd::test
