// RSA keys and PKCS#1 v1.5 blocks against OpenSSL: keys made at test time,
// signatures by `openssl pkeyutl` (with and without DigestInfo, and hand-made blocks
// raised to the private exponent with no padding, to probe what verifies).
#include "verify/algorithms/rsa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "verify/algorithms/ecdsa.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/hex_util.h"
#include "verify/algorithms/rsa_pkcs1.h"

namespace upd::test {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// One OpenSSL key in the suite's folder, with its public numbers.
struct OpenSslRsaKey {
  std::string pem;
  std::vector<uint8_t> modulus;
  std::vector<uint8_t> exponent;
  uint32_t bits = 0;
};

class RsaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    for (uint32_t bits : {512u, 1024u, 2048u, 2056u}) keys_.push_back(MakeKey(bits));
  }
  static void TearDownTestSuite() {
    keys_.clear();
    dir_.reset();
  }

  static OpenSslRsaKey MakeKey(uint32_t bits) {
    OpenSslRsaKey key;
    key.bits = bits;
    key.pem = dir_->file("rsa" + std::to_string(bits) + ".pem");
    std::string out;
    EXPECT_EQ(RunCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:" +
                         std::to_string(bits) + " -out " + key.pem + " 2>/dev/null"),
              0);
    EXPECT_EQ(RunCommand("openssl rsa -in " + key.pem + " -noout -modulus 2>/dev/null", &out), 0);
    key.modulus = FromHex(out.substr(out.find('=') + 1, out.find('\n') - out.find('=') - 1));
    key.exponent = {0x01, 0x00, 0x01};
    return key;
  }

  static const OpenSslRsaKey& Key(uint32_t bits) {
    for (const OpenSslRsaKey& key : keys_) {
      if (key.bits == bits) return key;
    }
    std::abort();
  }

  static CountedPtr<RSAImpl> Import(const OpenSslRsaKey& key) {
    CountedPtr<RSAImpl> rsa = CreateRSAImpl();
    RSAParameters parameters;
    EXPECT_TRUE(parameters.modulus.AssignBytes(key.modulus));
    EXPECT_TRUE(parameters.exponent.AssignBytes(key.exponent));
    EXPECT_TRUE(rsa->InitializeKey(key.bits));
    EXPECT_TRUE(rsa->ImportParameters(parameters));
    return rsa;
  }

  // pkeyutl over `input` with the given options; the output bytes.
  static std::vector<uint8_t> PkeyUtl(const OpenSslRsaKey& key, const std::vector<uint8_t>& input,
                                      const std::string& options) {
    std::string in = dir_->file("in.bin");
    std::string out = dir_->file("out.bin");
    WriteFile(in, std::string(input.begin(), input.end()));
    if (RunCommand("openssl pkeyutl -inkey " + key.pem + " -in " + in + " -out " + out + " " +
                   options + " 2>/dev/null") != 0) {
      return {};
    }
    return Bytes(ReadFile(out));
  }

  static std::vector<uint8_t> Sha256(const std::string& message) {
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(kHashSHA256);
    const uint8_t* d = ComputeHash(hash.Get(), reinterpret_cast<const uint8_t*>(message.data()), 0,
                                   message.size());
    return {d, d + 32};
  }

  static std::unique_ptr<TempDir> dir_;
  static std::vector<OpenSslRsaKey> keys_;
};

std::unique_ptr<TempDir> RsaTest::dir_;
std::vector<OpenSslRsaKey> RsaTest::keys_;

TEST_F(RsaTest, LegalKeySizes) {
  RSAImpl key;
  for (uint32_t bits : {384u, 392u, 2048u, 2056u, 16384u}) EXPECT_TRUE(key.IsLegalKeySize(bits));
  for (uint32_t bits : {0u, 376u, 2044u, 2047u, 16385u, 16392u}) {
    EXPECT_FALSE(key.IsLegalKeySize(bits)) << bits;
  }
  EXPECT_FALSE(key.SetKeySize(2047));
  EXPECT_EQ(key.GetKeySize(), 0u);
  EXPECT_FALSE(key.InitializeKey(2047));
  EXPECT_TRUE(key.SetKeySize(2048));
  EXPECT_EQ(key.GetAlgorithmType(), 1u);
}

TEST_F(RsaTest, DigestInfoMatchesWhatOpenSslRecovers) {
  const OpenSslRsaKey& key = Key(1024);
  struct Row {
    uint32_t id;
    const char* name;
  };
  for (Row row :
       {Row{3, "sha1"}, Row{4, "sha224"}, Row{5, "sha256"}, Row{6, "sha384"}, Row{7, "sha512"}}) {
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(row.id);
    std::vector<uint8_t> digest(hash->GetHashSize(), 0x5a);
    std::vector<uint8_t> signature =
        PkeyUtl(key, digest, std::string("-sign -pkeyopt digest:") + row.name);
    ASSERT_FALSE(signature.empty()) << row.name;
    std::vector<uint8_t> recovered = PkeyUtl(key, signature, "-verifyrecover");
    ByteArray block;
    ASSERT_TRUE(RSAPKCS1EncodeSignature(hash.Get(), digest, 128, block, true));
    ASSERT_EQ(block.GetLength(), 128);
    std::span<const uint8_t> t = block.AsSpan().last(recovered.size());
    EXPECT_EQ(ToHex(t), ToHex(recovered)) << row.name;
    CountedPtr<RSAImpl> rsa = Import(key);
    EXPECT_TRUE(RSAVerifyHash(rsa.Get(), digest, row.id, signature, true)) << row.name;
  }
}

TEST_F(RsaTest, SignaturesOfOpenSslKeysVerify) {
  const std::vector<uint8_t> digest = Sha256("catalogue");
  for (uint32_t bits : {1024u, 2048u, 2056u}) {
    const OpenSslRsaKey& key = Key(bits);
    CountedPtr<RSAImpl> rsa = Import(key);
    std::vector<uint8_t> signature = PkeyUtl(key, digest, "-sign -pkeyopt digest:sha256");
    ASSERT_EQ(signature.size(), (bits + 7) / 8);
    EXPECT_TRUE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, signature, true)) << bits;

    std::vector<uint8_t> flipped = signature;
    flipped[flipped.size() / 2] ^= 0x10;
    EXPECT_FALSE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, flipped, true)) << bits;
    std::vector<uint8_t> other_digest = Sha256("catalogue.");
    EXPECT_FALSE(RSAVerifyHash(rsa.Get(), other_digest, kHashSHA256, signature, true)) << bits;
    EXPECT_FALSE(RSAVerifyHash(rsa.Get(), digest, kHashSHA384, signature, true)) << bits;
  }
  // The wrong key.
  std::vector<uint8_t> signature = PkeyUtl(Key(2048), digest, "-sign -pkeyopt digest:sha256");
  CountedPtr<RSAImpl> other = Import(Key(2056));
  EXPECT_FALSE(RSAVerifyHash(other.Get(), digest, kHashSHA256, signature, true));
}

TEST_F(RsaTest, BareDigestBlockIsAcceptedToo) {
  const OpenSslRsaKey& key = Key(2048);
  CountedPtr<RSAImpl> rsa = Import(key);
  const std::vector<uint8_t> digest = Sha256("bare");
  // No digest option: OpenSSL pads the 32 bytes themselves.
  std::vector<uint8_t> signature = PkeyUtl(key, digest, "-sign");
  ASSERT_EQ(signature.size(), 256u);
  EXPECT_TRUE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, signature, true));
  EXPECT_TRUE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, signature, false));
}

TEST_F(RsaTest, HandMadeBlocksOnlyTheExactEncodingVerifies) {
  const OpenSslRsaKey& key = Key(1024);
  CountedPtr<RSAImpl> rsa = Import(key);
  CountedPtr<IHashAlgorithm> sha256 = CreateHashAlgorithm(kHashSHA256);
  const std::vector<uint8_t> digest = Sha256("blocks");
  ByteArray block;
  ASSERT_TRUE(RSAPKCS1EncodeSignature(sha256.Get(), digest, 128, block, true));
  std::vector<uint8_t> good(block.AsSpan().begin(), block.AsSpan().end());
  struct Row {
    const char* name;
    size_t index;
    uint8_t value;
  };
  const Row rows[] = {
      {"block type 2", 1, 0x02},
      {"padding byte not FF", 20, 0xfe},
      {"separator not zero", 128 - 52, 0x01},
      {"DigestInfo tag", 128 - 51, 0x31},
      {"digest byte", 127, static_cast<uint8_t>(good[127] ^ 1)},
  };
  std::vector<uint8_t> signature = PkeyUtl(key, good, "-decrypt -pkeyopt rsa_padding_mode:none");
  ASSERT_EQ(signature.size(), 128u);
  EXPECT_TRUE(RSAPKCS1VerifySignature(rsa.Get(), sha256.Get(), digest, signature, true));
  for (const Row& row : rows) {
    std::vector<uint8_t> bad = good;
    bad[row.index] = row.value;
    std::vector<uint8_t> forged = PkeyUtl(key, bad, "-decrypt -pkeyopt rsa_padding_mode:none");
    ASSERT_EQ(forged.size(), 128u) << row.name;
    EXPECT_FALSE(RSAPKCS1VerifySignature(rsa.Get(), sha256.Get(), digest, forged, true))
        << row.name;
  }
}

TEST_F(RsaTest, SignatureLengthsAndRange) {
  const OpenSslRsaKey& key = Key(1024);
  CountedPtr<RSAImpl> rsa = Import(key);
  const std::vector<uint8_t> digest = Sha256("lengths");
  std::vector<uint8_t> signature = PkeyUtl(key, digest, "-sign -pkeyopt digest:sha256");
  ASSERT_EQ(signature.size(), 128u);

  std::vector<uint8_t> padded(3, 0);
  padded.insert(padded.end(), signature.begin(), signature.end());
  EXPECT_TRUE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, padded, true));

  std::vector<uint8_t> longer{0x01};
  longer.insert(longer.end(), signature.begin(), signature.end());
  EXPECT_FALSE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, longer, true));

  // s + n is the same residue; RSAVP1 takes only s < n.
  BigInteger s = NumberFromHex(ToHex(signature), 17);
  BigInteger n = NumberFromHex(ToHex(key.modulus), 17);
  ASSERT_EQ(BigInteger::Add(s, n), 0u);
  std::vector<uint8_t> wrapped(136);
  ASSERT_TRUE(s.ToBytesBE(wrapped));
  EXPECT_FALSE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, wrapped, true));
  ByteArray out;
  EXPECT_FALSE(rsa->PublicOperation(key.modulus, out));

  EXPECT_FALSE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, {}, true));
  std::vector<uint8_t> zero(128, 0);
  EXPECT_FALSE(RSAVerifyHash(rsa.Get(), digest, kHashSHA256, zero, true));
  ASSERT_TRUE(rsa->PublicOperation(zero, out));
  EXPECT_EQ(out.GetLength(), 128);
  std::vector<uint8_t> short_digest(digest.begin(), digest.end() - 1);
  EXPECT_FALSE(RSAVerifyHash(rsa.Get(), short_digest, kHashSHA256, signature, true));
}

TEST_F(RsaTest, DigestTooLongForASmallKey) {
  const OpenSslRsaKey& key = Key(512);
  CountedPtr<RSAImpl> rsa = Import(key);
  CountedPtr<IHashAlgorithm> sha512 = CreateHashAlgorithm(kHashSHA512);
  std::vector<uint8_t> digest(64, 0x33);
  ByteArray block;
  ASSERT_TRUE(RSAPKCS1EncodeSignature(sha512.Get(), digest, 64, block, true));
  EXPECT_GT(block.GetLength(), 64);
  ASSERT_TRUE(RSAPKCS1EncodeSignature(sha512.Get(), digest, 64, block, false));
  EXPECT_GT(block.GetLength(), 64);
  // The closest a signer can come: the block cut to the modulus length.
  std::vector<uint8_t> cut(block.AsSpan().begin(), block.AsSpan().begin() + 64);
  std::vector<uint8_t> forged = PkeyUtl(key, cut, "-decrypt -pkeyopt rsa_padding_mode:none");
  ASSERT_EQ(forged.size(), 64u);
  EXPECT_FALSE(RSAPKCS1VerifySignature(rsa.Get(), sha512.Get(), digest, forged, true));
  // With SHA-1 the same key has room and verifies.
  std::vector<uint8_t> sha1_digest(20, 0x44);
  std::vector<uint8_t> signature = PkeyUtl(key, sha1_digest, "-sign -pkeyopt digest:sha1");
  EXPECT_TRUE(RSAVerifyHash(rsa.Get(), sha1_digest, kHashNone, signature, true));
}

TEST_F(RsaTest, ImportBoundsModulusAndExponent) {
  struct Row {
    const char* name;
    uint32_t bits;
    size_t modulus_bytes;
    size_t exponent_bits;
    bool ok;
  };
  const Row rows[] = {
      {"2048 with e = 65537", 2048, 256, 17, true},
      {"2048 with a full exponent", 2048, 256, 2048, true},
      {"2048 with an exponent longer than the key", 2048, 256, 2049, false},
      {"modulus longer than the key size", 2048, 257, 17, false},
      {"4096 with a 64-bit exponent", 4096, 512, 64, true},
      {"4096 with a 65-bit exponent", 4096, 512, 65, false},
      {"3072 with a full exponent", 3072, 384, 3072, true},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> modulus(row.modulus_bytes, 0xc3);
    modulus.back() |= 1;
    std::vector<uint8_t> exponent((row.exponent_bits + 7) / 8, 0xff);
    exponent[0] = static_cast<uint8_t>(0xff >> ((8 - row.exponent_bits % 8) % 8));
    RSAParameters parameters;
    ASSERT_TRUE(parameters.modulus.AssignBytes(modulus));
    ASSERT_TRUE(parameters.exponent.AssignBytes(exponent));
    CountedPtr<RSAImpl> rsa = CreateRSAImpl();
    ASSERT_TRUE(rsa->InitializeKey(row.bits));
    EXPECT_EQ(rsa->ImportParameters(parameters), row.ok) << row.name;
    EXPECT_EQ(rsa->HasKey(), row.ok) << row.name;
  }
  // Leading zero bytes (a DER INTEGER's sign byte) do not count.
  const std::vector<uint8_t>& plain = Key(1024).modulus;
  std::vector<uint8_t> modulus(plain.size() + 1, 0x00);
  std::copy(plain.begin(), plain.end(), modulus.begin() + 1);
  RSAParameters parameters;
  ASSERT_TRUE(parameters.modulus.AssignBytes(modulus));
  ASSERT_TRUE(parameters.exponent.AssignBytes(std::vector<uint8_t>{0, 0, 1, 0, 1}));
  CountedPtr<RSAImpl> rsa = CreateRSAImpl();
  ASSERT_TRUE(rsa->InitializeKey(1024));
  EXPECT_TRUE(rsa->ImportParameters(parameters));
  RSAParameters empty;
  EXPECT_FALSE(rsa->ImportParameters(empty));
  CountedPtr<RSAImpl> unsized = CreateRSAImpl();
  EXPECT_FALSE(unsized->ImportParameters(parameters));
}

TEST_F(RsaTest, DeformatterKeepsItsRsaKey) {
  const OpenSslRsaKey& key = Key(2048);
  CountedPtr<RSAImpl> rsa = Import(key);
  const std::vector<uint8_t> digest = Sha256("deformatter");
  std::vector<uint8_t> signature = PkeyUtl(key, digest, "-sign -pkeyopt digest:sha256");
  ByteArray sig;
  ByteArray hash_bytes;
  ASSERT_TRUE(sig.AssignBytes(signature));
  ASSERT_TRUE(hash_bytes.AssignBytes(digest));

  RSAPKCS1SignatureDeformatter deformatter(rsa);
  EXPECT_FALSE(deformatter.VerifySignature(hash_bytes, sig)) << "no hash id set yet";
  deformatter.SetHashAlgorithm(kHashSHA256);
  EXPECT_TRUE(deformatter.VerifySignature(hash_bytes, sig));

  CountedPtr<AsymmetricAlgorithm> ecdsa = MakeCounted<ECCDSA>(kCurveP256);
  deformatter.SetKey(ecdsa);
  deformatter.SetKey({});
  EXPECT_TRUE(deformatter.VerifySignature(hash_bytes, sig));
  EXPECT_EQ(rsa.GetCount(), 2u);

  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(kHashSHA256);
  std::string message = "deformatter";
  ASSERT_NE(
      ComputeHash(hash.Get(), reinterpret_cast<const uint8_t*>(message.data()), 0, message.size()),
      nullptr);
  deformatter.SetHashAlgorithm(kHashSHA1);
  EXPECT_TRUE(deformatter.VerifySignature(hash.Get(), sig));
  EXPECT_EQ(deformatter.GetHashAlgorithm(), kHashSHA256);
  EXPECT_FALSE(deformatter.VerifySignature(static_cast<IHashAlgorithm*>(nullptr), sig));
  EXPECT_FALSE(deformatter.VerifySignature(ByteArray(), sig));
}

}  // namespace
}  // namespace upd::test
