// ECDSA verification over NIST CAVP SigVer (FIPS 186-3) for P-256, P-384 and
// P-521 with every hash: pass cases and the changed message, r, s and Q.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "verify/algorithms/cavp_reader.h"
#include "verify/algorithms/der_util.h"
#include "verify/algorithms/ecdsa.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/hex_util.h"

namespace upd::test {
namespace {

const std::map<std::string, uint32_t> kCurves = {
    {"P-256", kCurveP256}, {"P-384", kCurveP384}, {"P-521", kCurveP521}};
const std::map<std::string, uint32_t> kHashIds = {
    {"SHA-1", kHashSHA1},     {"SHA-224", kHashSHA224}, {"SHA-256", kHashSHA256},
    {"SHA-384", kHashSHA384}, {"SHA-512", kHashSHA512},
};

std::vector<uint8_t> Padded(const std::string& hex, size_t size) {
  std::vector<uint8_t> bytes = FromHex(hex);
  std::vector<uint8_t> out(size > bytes.size() ? size - bytes.size() : 0, 0);
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

TEST(EcdsaCavpTest, SigVerPassAndFailCases) {
  std::vector<CavpRecord> records =
      ReadCavpFile(CavpVectorPath("asymmetric/ECDSA/FIPS_186-3/SigVer.rsp"));
  ASSERT_GE(records.size(), 1000u) << "CAVP SigVer file missing";
  int checked = 0;
  for (const CavpRecord& record : records) {
    const std::string curve_name = record.section.substr(0, record.section.find(','));
    auto curve = kCurves.find(curve_name);
    if (curve == kCurves.end()) continue;
    ++checked;
    const std::string hash_name = record.section.substr(record.section.find(',') + 1);
    ECCDSA key(curve->second);
    const size_t size = key.GetParameters().coordinate_bytes;
    std::vector<uint8_t> point{0x04};
    for (const char* coordinate : {"Qx", "Qy"}) {
      std::vector<uint8_t> c = Padded(record.fields.at(coordinate), size);
      point.insert(point.end(), c.begin(), c.end());
    }
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(kHashIds.at(hash_name));
    std::vector<uint8_t> message = FromHex(record.fields.at("Msg"));
    const uint8_t* digest = ComputeHash(hash.Get(), message.data(), 0, message.size());
    ASSERT_NE(digest, nullptr);
    std::span<const uint8_t> d(digest, hash->GetHashSize());
    const bool expected = record.fields.at("Result")[0] == 'P';
    const bool imported = key.ImportPublicKey(point);
    std::vector<uint8_t> der = DerSignature(record.fields.at("R"), record.fields.at("S"));
    const uint32_t result = key.VerifyHash(d, der);
    const uint32_t raw = key.VerifyHashRaw(d, Padded(record.fields.at("R"), size),
                                           Padded(record.fields.at("S"), size));
    SCOPED_TRACE(record.section + " " + record.fields.at("Result") +
                 " R=" + record.fields.at("R").substr(0, 16));
    if (expected) {
      EXPECT_TRUE(imported);
      EXPECT_EQ(result, kEcdsaValid);
      EXPECT_EQ(raw, kEcdsaValid);
    } else {
      EXPECT_NE(result, kEcdsaValid);
      EXPECT_NE(raw, kEcdsaValid);
    }
  }
  EXPECT_EQ(checked, 3 * 5 * 15);
}

}  // namespace
}  // namespace upd::test
