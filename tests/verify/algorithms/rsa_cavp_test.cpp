// PKCS#1 v1.5 signature verification over NIST CAVP SigVer15 (FIPS 186-3):
// every pass and fail case of the 1024- to 3072-bit moduli and five hashes.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "verify/algorithms/cavp_reader.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/hex_util.h"
#include "verify/algorithms/rsa.h"
#include "verify/algorithms/rsa_pkcs1.h"

namespace upd::test {
namespace {

const std::map<std::string, uint32_t> kHashIds = {
    {"SHA1", kHashSHA1},     {"SHA224", kHashSHA224}, {"SHA256", kHashSHA256},
    {"SHA384", kHashSHA384}, {"SHA512", kHashSHA512},
};

bool VerifyRecord(const CavpRecord& record) {
  const uint32_t bits = static_cast<uint32_t>(std::stoul(record.section.substr(6)));
  CountedPtr<RSAImpl> key = CreateRSAImpl();
  RSAParameters parameters;
  if (!key || !key->InitializeKey(bits) ||
      !parameters.modulus.AssignBytes(FromHex(record.fields.at("n"))) ||
      !parameters.exponent.AssignBytes(FromHex(record.fields.at("e"))) ||
      !key->ImportParameters(parameters)) {
    return false;
  }
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(kHashIds.at(record.fields.at("SHAAlg")));
  std::vector<uint8_t> message = FromHex(record.fields.at("Msg"));
  const uint8_t* digest = ComputeHash(hash.Get(), message.data(), 0, message.size());
  if (digest == nullptr) return false;
  std::vector<uint8_t> signature = FromHex(record.fields.at("S"));
  return RSAPKCS1VerifySignature(key.Get(), hash.Get(), {digest, hash->GetHashSize()}, signature,
                                 true);
}

TEST(RsaCavpTest, SigVer15PassAndFailCases) {
  std::vector<CavpRecord> records =
      ReadCavpFile(CavpVectorPath("asymmetric/RSA/FIPS_186-2/SigVer15_186-3.rsp"));
  ASSERT_GE(records.size(), 200u) << "CAVP SigVer15 file missing";
  int passes = 0;
  for (const CavpRecord& record : records) {
    const bool expected = record.fields.at("Result")[0] == 'P';
    passes += expected;
    EXPECT_EQ(VerifyRecord(record), expected)
        << record.section << " " << record.fields.at("SHAAlg") << " " << record.fields.at("Result")
        << " S=" << record.fields.at("S").substr(0, 16);
  }
  EXPECT_GT(passes, 0);
}

}  // namespace
}  // namespace upd::test
