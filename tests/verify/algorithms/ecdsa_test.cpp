// ECDSA keys, signatures and bad inputs, with keys and signatures made by
// OpenSSL at test time for the three curves.
#include "verify/algorithms/ecdsa.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "verify/algorithms/der_util.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/hex_util.h"
#include "verify/algorithms/rsa.h"

namespace upd::test {
namespace {

struct CurveRow {
  uint32_t id;
  const char* openssl_name;
  size_t size;
};
const CurveRow kCurveRows[] = {
    {kCurveP256, "prime256v1", 32}, {kCurveP384, "secp384r1", 48}, {kCurveP521, "secp521r1", 66}};

struct OpenSslEcKey {
  std::string pem;
  std::vector<uint8_t> point;
};

class EcdsaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    for (const CurveRow& row : kCurveRows) {
      OpenSslEcKey key;
      key.pem = dir_->file(std::string(row.openssl_name) + ".pem");
      std::string pub = dir_->file("pub.der");
      EXPECT_EQ(RunCommand("openssl ecparam -name " + std::string(row.openssl_name) +
                           " -genkey -noout -out " + key.pem + " 2>/dev/null"),
                0);
      EXPECT_EQ(RunCommand("openssl ec -in " + key.pem + " -pubout -outform DER -out " + pub +
                           " 2>/dev/null"),
                0);
      std::string der = ReadFile(pub);
      key.point.assign(der.end() - static_cast<std::ptrdiff_t>(2 * row.size + 1), der.end());
      keys_[row.id] = key;
    }
  }
  static void TearDownTestSuite() { dir_.reset(); }

  // `openssl dgst -<hash> -sign` over the message: a DER signature.
  static std::vector<uint8_t> Sign(uint32_t curve, const std::string& hash,
                                   const std::string& message) {
    std::string in = dir_->file("msg");
    std::string out = dir_->file("sig");
    WriteFile(in, message);
    if (RunCommand("openssl dgst -" + hash + " -sign " + keys_[curve].pem + " -out " + out + " " +
                   in) != 0) {
      return {};
    }
    std::string sig = ReadFile(out);
    return {sig.begin(), sig.end()};
  }

  static std::vector<uint8_t> Digest(uint32_t id, const std::string& message) {
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(id);
    const uint8_t* d = ComputeHash(hash.Get(), reinterpret_cast<const uint8_t*>(message.data()), 0,
                                   message.size());
    return {d, d + hash->GetHashSize()};
  }

  static std::unique_ptr<ECCDSA> Key(uint32_t curve) {
    auto key = std::make_unique<ECCDSA>(curve);
    EXPECT_TRUE(key->ImportPublicKey(keys_[curve].point));
    return key;
  }

  static std::unique_ptr<TempDir> dir_;
  static OpenSslEcKey keys_[4];
};

std::unique_ptr<TempDir> EcdsaTest::dir_;
OpenSslEcKey EcdsaTest::keys_[4];

TEST_F(EcdsaTest, OpenSslSignaturesVerifyAndAFlippedDigestBitDoesNot) {
  for (const CurveRow& row : kCurveRows) {
    for (auto [name, id] : {std::pair{"sha1", kHashSHA1}, std::pair{"sha256", kHashSHA256},
                            std::pair{"sha384", kHashSHA384}, std::pair{"sha512", kHashSHA512}}) {
      SCOPED_TRACE(std::string(row.openssl_name) + " " + name);
      std::unique_ptr<ECCDSA> key = Key(row.id);
      std::vector<uint8_t> signature = Sign(row.id, name, "package");
      std::vector<uint8_t> digest = Digest(id, "package");
      EXPECT_EQ(key->VerifyHash(digest, signature), kEcdsaValid);
      digest[digest.size() / 3] ^= 0x04;
      EXPECT_EQ(key->VerifyHash(digest, signature), kEcdsaInvalid);
    }
  }
}

TEST_F(EcdsaTest, LongDigestsAreCutToTheCoordinateSize) {
  std::vector<uint8_t> digest = Digest(kHashSHA512, "cut");
  std::unique_ptr<ECCDSA> p256 = Key(kCurveP256);
  std::vector<uint8_t> signature = Sign(kCurveP256, "sha512", "cut");
  EXPECT_EQ(p256->VerifyHash(digest, signature), kEcdsaValid);
  std::vector<uint8_t> first(digest.begin(), digest.begin() + 32);
  EXPECT_EQ(p256->VerifyHash(first, signature), kEcdsaValid);
  std::vector<uint8_t> tail_changed = digest;
  tail_changed[40] ^= 1;
  EXPECT_EQ(p256->VerifyHash(tail_changed, signature), kEcdsaValid);

  // P-521 takes all 64 bytes.
  std::unique_ptr<ECCDSA> p521 = Key(kCurveP521);
  signature = Sign(kCurveP521, "sha512", "cut");
  EXPECT_EQ(p521->VerifyHash(digest, signature), kEcdsaValid);
  EXPECT_EQ(p521->VerifyHash(tail_changed, signature), kEcdsaInvalid);
}

TEST_F(EcdsaTest, SignatureValuesOutOfRange) {
  std::unique_ptr<ECCDSA> key = Key(kCurveP256);
  std::vector<uint8_t> digest = Digest(kHashSHA256, "range");
  const std::string n = NumberToHex(key->GetParameters().n).substr(16);
  const std::string one = "01";
  struct Row {
    const char* name;
    std::vector<uint8_t> der;
    uint32_t result;
  };
  std::vector<uint8_t> three_integers = DerSignature(one, one);
  three_integers[1] += 3;
  three_integers.insert(three_integers.end(), {0x02, 0x01, 0x01});
  std::vector<uint8_t> empty_r = {0x30, 0x05, 0x02, 0x00, 0x02, 0x01, 0x01};
  std::vector<uint8_t> long_r{0x30, 0x47, 0x02, 0x41, 0x01};
  long_r.insert(long_r.end(), 64, 0x00);
  long_r.insert(long_r.end(), {0x02, 0x01, 0x01});
  const Row rows[] = {
      {"r = 0", DerSignature("00", one), kEcdsaMalformed},
      {"s = 0", DerSignature(one, "00"), kEcdsaMalformed},
      {"r = n", DerSignature(n, one), kEcdsaMalformed},
      {"s = n", DerSignature(one, n), kEcdsaMalformed},
      {"s above n", DerSignature(one, "ff" + n.substr(2)), kEcdsaMalformed},
      {"three integers", three_integers, kEcdsaMalformed},
      {"one integer", {0x30, 0x03, 0x02, 0x01, 0x01}, kEcdsaMalformed},
      {"not DER", {0x30, 0x7f, 0x02}, kEcdsaMalformed},
      {"empty r", empty_r, kEcdsaNumberNotStored},
      {"r longer than the numbers", long_r, kEcdsaMalformed},
      {"in range but wrong", DerSignature(one, one), kEcdsaInvalid},
  };
  for (const Row& row : rows) EXPECT_EQ(key->VerifyHash(digest, row.der), row.result) << row.name;
  EXPECT_EQ(key->VerifyHash({}, DerSignature(one, one)), kEcdsaNumberNotStored);
}

TEST_F(EcdsaTest, PublicPointImport) {
  for (const CurveRow& row : kCurveRows) {
    SCOPED_TRACE(row.openssl_name);
    const std::vector<uint8_t>& good = keys_[row.id].point;
    std::vector<uint8_t> compressed = good;
    compressed[0] = 0x02;
    std::vector<uint8_t> short_point(good.begin(), good.end() - 1);
    std::vector<uint8_t> x_is_p = good;
    std::vector<uint8_t> p_bytes = FromHex(NumberToHex(ECCDSA(row.id).GetParameters().p));
    std::copy(p_bytes.end() - static_cast<std::ptrdiff_t>(row.size), p_bytes.end(),
              x_is_p.begin() + 1);
    std::vector<uint8_t> x_zero = good;
    std::fill(x_zero.begin() + 1, x_zero.begin() + 1 + static_cast<std::ptrdiff_t>(row.size), 0);
    std::vector<uint8_t> signature = Sign(row.id, "sha256", "import");
    std::vector<uint8_t> digest = Digest(kHashSHA256, "import");
    for (const auto& bad : {compressed, short_point, x_is_p, x_zero}) {
      ECCDSA key(row.id);
      ASSERT_TRUE(key.ImportPublicKey(good));
      EXPECT_FALSE(key.ImportPublicKey(bad));
      EXPECT_FALSE(key.IsValid());
      EXPECT_EQ(key.VerifyHash(digest, signature), kEcdsaInvalid);
    }
  }
  ECCDSA unknown(4);
  EXPECT_FALSE(unknown.IsValid());
  EXPECT_FALSE(unknown.ImportPublicKey(keys_[kCurveP256].point));
  EXPECT_EQ(unknown.VerifyHash(Digest(kHashSHA256, "x"), DerSignature("01", "01")), kEcdsaInvalid);
}

TEST_F(EcdsaTest, WrongKeyDoesNotVerify) {
  std::vector<uint8_t> signature = Sign(kCurveP384, "sha384", "wrong key");
  std::vector<uint8_t> digest = Digest(kHashSHA384, "wrong key");
  ECCDSA other(kCurveP384);
  std::vector<uint8_t> g{0x04};
  for (const BigInteger* c : {&other.GetParameters().g.x, &other.GetParameters().g.y}) {
    std::vector<uint8_t> bytes = FromHex(NumberToHex(*c));
    g.insert(g.end(), bytes.end() - 48, bytes.end());
  }
  ASSERT_TRUE(other.ImportPublicKey(g));
  EXPECT_EQ(other.VerifyHash(digest, signature), kEcdsaInvalid);
  EXPECT_EQ(Key(kCurveP384)->VerifyHash(digest, signature), kEcdsaValid);
}

TEST_F(EcdsaTest, KeySizesAndDeformatter) {
  ECCDSA key(kCurveP521);
  EXPECT_TRUE(key.IsLegalKeySize(521));
  EXPECT_TRUE(key.IsLegalKeySize(256));
  EXPECT_TRUE(key.IsLegalKeySize(384));
  EXPECT_FALSE(key.IsLegalKeySize(512));
  EXPECT_EQ(key.GetAlgorithmType(), 2u);
  EXPECT_EQ(key.GetKeySize(), 0u);

  CountedPtr<ECCDSA> ecdsa = MakeCounted<ECCDSA>(kCurveP256);
  ASSERT_TRUE(ecdsa->ImportPublicKey(keys_[kCurveP256].point));
  std::vector<uint8_t> signature = Sign(kCurveP256, "sha256", "deformatter");
  ByteArray sig;
  ByteArray digest;
  ASSERT_TRUE(sig.AssignBytes(signature));
  ASSERT_TRUE(digest.AssignBytes(Digest(kHashSHA256, "deformatter")));

  ECCSignatureDeformatter deformatter(ecdsa);
  EXPECT_TRUE(deformatter.VerifySignature(digest, sig));
  CountedPtr<AsymmetricAlgorithm> rsa = CreateRSAImpl();
  deformatter.SetKey(rsa);
  EXPECT_TRUE(deformatter.VerifySignature(digest, sig)) << "an RSA key is ignored";
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(kHashSHA256);
  const std::string message = "deformatter";
  ASSERT_NE(
      ComputeHash(hash.Get(), reinterpret_cast<const uint8_t*>(message.data()), 0, message.size()),
      nullptr);
  EXPECT_TRUE(deformatter.VerifySignature(hash.Get(), sig));
  deformatter.SetKey({});
  EXPECT_FALSE(deformatter.VerifySignature(digest, sig)) << "an empty key clears the key";
}

}  // namespace
}  // namespace upd::test
