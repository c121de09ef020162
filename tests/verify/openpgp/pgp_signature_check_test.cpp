#include "verify/openpgp/pgp_signature_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "pgp_kit.h"
#include "verify/algorithms/hash_algorithm.h"

namespace upd::test {
namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

uint32_t BitLength(const std::vector<uint8_t>& v) {
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != 0) return static_cast<uint32_t>((v.size() - i) * 8 - __builtin_clz(v[i]) + 24);
  }
  return 0;
}

// An MPI slot over big-endian bytes, leading zero bytes dropped as OpenPGP
// stores them.
_PGP_MPI Mpi(std::vector<uint8_t>& v) {
  const uint32_t bits = BitLength(v);
  const size_t skip = v.size() - (bits + 7) / 8;
  return {bits, v.data() + skip, 0};
}

uint32_t HashIdOf(const std::string& name) {
  static const std::map<std::string, uint32_t> kIds = {{"SHA-1", kHashSHA1},
                                                       {"SHA-224", kHashSHA224},
                                                       {"SHA-256", kHashSHA256},
                                                       {"SHA-384", kHashSHA384},
                                                       {"SHA-512", kHashSHA512}};
  const auto it = kIds.find(name);
  return it == kIds.end() ? kHashNone : it->second;
}

// NIST's DSA signature-verification vectors (every L and N of FIPS 186-3 with
// each SHA size), as Debian's python3-cryptography-vectors ships them.
TEST(PgpVerifyDsaTest, NistSignatureVerificationVectors) {
  const std::string path =
      "/usr/lib/python3/dist-packages/cryptography_vectors/asymmetric/DSA/FIPS_186-3/SigVer.rsp";
  std::ifstream in(path);
  if (!in) GTEST_SKIP() << "python3-cryptography-vectors is not installed";
  std::map<std::string, std::string> field;
  std::string line;
  uint32_t hash_id = kHashNone;
  int checked = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("[mod = ", 0) == 0) {
      hash_id = HashIdOf(line.substr(line.rfind(' ') + 1, line.size() - line.rfind(' ') - 2));
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    field[name] = line.substr(eq + 3);
    if (name != "Result") continue;
    ASSERT_NE(hash_id, kHashNone);
    std::vector<uint8_t> p = FromHex(field["P"]), q = FromHex(field["Q"]), g = FromHex(field["G"]),
                         y = FromHex(field["Y"]), r = FromHex(field["R"]), s = FromHex(field["S"]);
    const std::vector<uint8_t> msg = FromHex(field["Msg"]);
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(hash_id);
    ASSERT_TRUE(hash);
    const uint8_t* digest = ComputeHash(hash.Get(), msg.data(), 0, msg.size());
    _PGP_PUBLIC_KEY key;
    const _PGP_MPI mp = Mpi(p), mq = Mpi(q), mg = Mpi(g), my = Mpi(y);
    PgpSetPublicKey(&key, kPgpKeyDsa, nullptr, nullptr, mp.bits, mp.data, mq.bits, mq.data, mg.bits,
                    mg.data, my.bits, my.data);
    _PGP_SIGNATURE sig;
    sig.mpi[0] = Mpi(r);
    sig.mpi[1] = Mpi(s);
    const uint32_t rc = PgpVerifyDsa(sig, {digest, hash->GetHashSize()}, key);
    if (field["Result"][0] == 'P') {
      EXPECT_EQ(rc, kPgpOk) << field["Msg"];
    } else {
      EXPECT_NE(rc, kPgpOk) << field["Msg"] << " " << field["Result"];
    }
    ++checked;
  }
  EXPECT_EQ(checked, 300);
}

TEST(PgpVerifyDsaTest, ValuesOutOfRange) {
  std::vector<uint8_t> p = {0x17}, q = {0x0B}, g = {0x04}, y = {0x08};
  std::vector<uint8_t> zero = {0x00}, one = {0x01}, eleven = {0x0B};
  _PGP_PUBLIC_KEY key;
  const _PGP_MPI mp = Mpi(p), mq = Mpi(q), mg = Mpi(g), my = Mpi(y);
  PgpSetPublicKey(&key, kPgpKeyDsa, nullptr, nullptr, mp.bits, mp.data, mq.bits, mq.data, mg.bits,
                  mg.data, my.bits, my.data);
  const uint8_t digest[] = {0x05};
  const struct {
    const char* name;
    _PGP_MPI r, s;
    uint32_t result;
  } kCases[] = {
      {"r of zero bits", {0, zero.data(), 0}, Mpi(one), kPgpNoMemory},
      {"r = 0 stored in one byte", {8, zero.data(), 0}, Mpi(one), kPgpUnreadable},
      {"r = q", Mpi(eleven), Mpi(one), kPgpUnreadable},
      {"s = q", Mpi(one), Mpi(eleven), kPgpUnreadable},
      {"in range, wrong", Mpi(one), Mpi(one), kPgpMismatch},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    _PGP_SIGNATURE sig;
    sig.mpi[0] = c.r;
    sig.mpi[1] = c.s;
    EXPECT_EQ(PgpVerifyDsa(sig, digest, key), c.result);
  }
}

// A version 3 signature over an empty message: its digest covers just the
// 5 hashed bytes, so the left 16 bits can be made to match.
struct Version3 {
  _PGP_SIGNATURE sig;
  CountedPtr<IHashAlgorithm> hash;
  Version3(uint8_t algorithm, bool left16_matches) {
    sig.version = 3;
    sig.public_key_algorithm = algorithm;
    sig.hashed.bytes.reset(new uint8_t[5]{0, 1, 2, 3, 4});
    sig.hashed.size = 5;
    hash = CreateHashAlgorithm(kHashSHA256);
    CountedPtr<IHashAlgorithm> probe = CreateHashAlgorithm(kHashSHA256);
    const uint8_t* d = ComputeHash(probe.Get(), sig.hashed.bytes.get(), 0, 5);
    sig.left16[0] = d[0];
    sig.left16[1] = static_cast<uint8_t>(d[1] ^ (left16_matches ? 0 : 1));
    hash->Initialize();
  }
};

TEST(PgpVerifySignatureTest, AlgorithmMustMatchTheKey) {
  ASSERT_TRUE(Kit::Get().ok());
  KitKey rsa(Kit::Get().File("update.pgp"));
  KitKey dsa(Kit::Get().File("dsa.pgp"));
  ASSERT_TRUE(rsa.ok() && dsa.ok());
  std::vector<uint8_t> value(256, 0x42);
  const struct {
    const char* name;
    uint8_t algorithm;
    bool left16;
    _PGP_PUBLIC_KEY* key;
    uint32_t result;
  } kCases[] = {
      {"left 16 bits differ", 1, false, rsa.record(), kPgpMismatch},
      {"RSA value, RSA key", 1, true, rsa.record(), kPgpMismatch},
      {"RSA value, DSA key", 1, true, dsa.record(), kPgpAlgorithmUnsupported},
      {"DSA value, RSA key", 17, true, rsa.record(), kPgpAlgorithmUnsupported},
      {"ElGamal value", 16, true, rsa.record(), kPgpAlgorithmUnsupported},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Version3 v3(c.algorithm, c.left16);
    v3.sig.mpi[0] = {2048, value.data(), 0};
    v3.sig.mpi[1] = {2048, value.data(), 0};
    EXPECT_EQ(PgpVerifySignature(v3.sig, v3.hash.Get(), *c.key), c.result);
  }
}

TEST(PgpVerifyRsaTest, ModulusSizeMustBeLegal) {
  std::vector<uint8_t> modulus(48, 0xC3);  // 384 bits, the smallest legal size
  std::vector<uint8_t> exponent = {0x01, 0x00, 0x01};
  std::vector<uint8_t> value(48, 0x01);
  const uint32_t kSizes[][2] = {{384, kPgpMismatch}, {383, kPgpUnreadable}, {380, kPgpUnreadable}};
  for (const auto& size : kSizes) {
    SCOPED_TRACE(size[0]);
    _PGP_PUBLIC_KEY key;
    PgpSetPublicKey(&key, kPgpKeyRsa, nullptr, nullptr, size[0], modulus.data(), 17,
                    exponent.data(), 0, nullptr, 0, nullptr);
    Version3 v3(1, true);
    v3.sig.mpi[0] = {384, value.data(), 0};
    EXPECT_EQ(PgpVerifySignature(v3.sig, v3.hash.Get(), key), size[1]);
  }
}

// Literal packets after the genuine one-pass packet of a message signed by a
// key passed directly.
TEST(PgpLiteralTest, FileNameAndContentLengths) {
  ASSERT_TRUE(Kit::Get().ok());
  KitKey update(Kit::Get().File("update.pgp"));
  ASSERT_TRUE(update.ok());
  _PGP_PUBLIC_KEY* keys[] = {update.record()};
  const PGP_KEY_LIST signing{1, keys};
  const std::vector<uint8_t> message = Kit::Get().File("update-sha256.gpg");
  ASSERT_GE(message.size(), 15u);
  ASSERT_EQ(message[0], 0x90);  // old-format one-pass packet of 13 bytes
  ASSERT_EQ(message[1], 13);
  const std::vector<uint8_t> one_pass(message.begin(), message.begin() + 15);
  const struct {
    const char* name;
    std::vector<uint8_t> literal;
    uint32_t result;
    uint64_t offset;
    uint64_t length;
  } kCases[] = {
      {"empty name, no content", {0xCB, 6, 'b', 0, 0, 0, 0, 0}, kPgpUnreadable, 0, 0},
      {"empty name, one byte", {0xCB, 7, 'b', 0, 0, 0, 0, 0, 'x'}, kPgpNotVerified, 23, 1},
      {"name, no content", {0xCB, 7, 'b', 1, 'n', 0, 0, 0, 0}, kPgpNotVerified, 24, 0},
      {"name longer than the body", {0xCB, 7, 'b', 2, 'n', 0, 0, 0, 0}, kPgpUnreadable, 0, 0},
      {"name of 255 in a short body",
       {0xCB, 9, 'b', 255, 'n', 0, 0, 0, 0, 1, 2},
       kPgpUnreadable,
       0,
       0},
      {"name length missing", {0xCB, 1, 'b'}, kPgpUnreadable, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file = one_pass;
    file.insert(file.end(), c.literal.begin(), c.literal.end());
    Call call;
    call.signing = &signing;
    const Outcome out = Verify(file, call);
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.offset, c.offset);
    EXPECT_EQ(out.length, c.length);
  }
}

}  // namespace
}  // namespace upd::test
