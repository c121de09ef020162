#include "verify/algorithms/hash_algorithm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "verify/algorithms/hex_util.h"

namespace upd::test {
namespace {

const std::map<std::string, uint32_t> kIdByName = {
    {"sha1", kHashSHA1},     {"sha224", kHashSHA224}, {"sha256", kHashSHA256},
    {"sha384", kHashSHA384}, {"sha512", kHashSHA512}, {"sha512_256", kHashSHA512_256},
};

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> message(length);
  for (size_t i = 0; i < length; ++i) message[i] = static_cast<uint8_t>((7 * i + 3) % 256);
  return message;
}

struct DigestCase {
  uint32_t id;
  size_t length;
  std::string digest;
};

std::vector<DigestCase> PythonDigests() {
  const char* python = std::getenv("PYTHON3");
  std::string out;
  if (RunCommand(std::string(python ? python : "python3") + " " +
                     SourcePath("tests/verify/algorithms/hash_digests.py"),
                 &out) != 0) {
    return {};
  }
  std::vector<DigestCase> cases;
  std::istringstream in(out);
  std::string name;
  DigestCase c;
  while (in >> name >> c.length >> c.digest) {
    c.id = kIdByName.at(name);
    cases.push_back(c);
  }
  return cases;
}

std::string Digest(IHashAlgorithm& hash) {
  return ToHex(std::span<const uint8_t>(hash.GetHash(), hash.GetHashSize()));
}

TEST(HashAlgorithmTest, DigestsMatchHashlibWholeAndInPieces) {
  std::vector<DigestCase> cases = PythonDigests();
  ASSERT_EQ(cases.size(), 6u * 15u) << "hash_digests.py did not run";
  for (const DigestCase& c : cases) {
    SCOPED_TRACE("id " + std::to_string(c.id) + " length " + std::to_string(c.length));
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(c.id);
    ASSERT_TRUE(hash);
    std::vector<uint8_t> message = Pattern(c.length);
    message.push_back(0);  // a non-null pointer for the empty message too
    const uint8_t* whole = ComputeHash(hash.Get(), message.data(), 0, c.length);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(Digest(*hash), c.digest);

    // Odd-sized pieces through HashCore, the rest through HashFinal.
    hash->Initialize();
    size_t at = 0;
    for (size_t piece = 1; at + piece < c.length; piece += 6) {
      hash->HashCore(message.data(), at, piece);
      at += piece;
    }
    EXPECT_EQ(hash->HashFinal(message.data(), at, c.length - at), 0);
    EXPECT_EQ(Digest(*hash), c.digest);
  }
}

TEST(HashAlgorithmTest, FinalWithNoBytesFinishesWhatCoreWasGiven) {
  const std::string abc = "abc";
  const auto* data = reinterpret_cast<const uint8_t*>(abc.data());
  HashAlgorithmSHA1 sha1;
  sha1.HashCore(data, 0, 3);
  sha1.HashCore(nullptr, 0, 3);
  EXPECT_EQ(sha1.HashFinal(nullptr, 0, 0), 0);
  EXPECT_EQ(Digest(sha1), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // ComputeHash starts over each time.
  ASSERT_NE(ComputeHash(&sha1, data, 0, 3), nullptr);
  ASSERT_NE(ComputeHash(&sha1, data, 0, 3), nullptr);
  EXPECT_EQ(Digest(sha1), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(ComputeHash(&sha1, nullptr, 0, 3), nullptr);
}

TEST(HashAlgorithmTest, FactoryAndSizes) {
  struct Row {
    uint32_t id;
    uint32_t size;
  };
  for (Row row : {Row{3, 20}, Row{4, 28}, Row{5, 32}, Row{6, 48}, Row{7, 64}, Row{8, 32}}) {
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(row.id);
    ASSERT_TRUE(hash) << row.id;
    EXPECT_EQ(hash->GetAlgorithmId(), row.id);
    EXPECT_EQ(hash->GetHashSize(), row.size);
    EXPECT_EQ(GetHashSizeForId(row.id), row.size);
    EXPECT_EQ(hash.GetCount(), 1u);
  }
  for (uint32_t id : {0u, 1u, 2u, 9u}) {
    EXPECT_FALSE(CreateHashAlgorithm(id)) << id;
    EXPECT_EQ(GetHashSizeForId(id), 0u) << id;
  }
  HashAlgorithmSHA2 unknown_kind(6);
  EXPECT_EQ(unknown_kind.GetAlgorithmId(), 0u);
}

TEST(HashAlgorithmTest, IdFromOid) {
  struct Row {
    const char* oid;
    uint32_t id;
  };
  const Row rows[] = {
      {"1.2.840.113549.1.1.2", 1},
      {"1.2.840.113549.2.2", 1},
      {"1.3.14.7.2.3.1", 1},
      {"1.2.840.113549.1.1.4", 2},
      {"1.2.840.113549.2.5", 2},
      {"1.3.14.3.2.3", 2},
      {"1.2.840.113549.1.1.5", 3},
      {"1.3.14.3.2.29", 3},
      {"1.2.840.10040.4.3", 3},
      {"1.3.14.3.2.26", 3},
      {"1.3.14.3.2.15", 3},
      {"1.3.14.3.2.13", 3},
      {"1.3.14.3.2.27", 3},
      {"2.16.840.1.101.2.1.1.19", 3},
      {"1.2.840.10045.4.1", 3},
      {"2.16.840.1.101.3.4.2.1", 5},
      {"1.2.840.113549.1.1.11", 5},
      {"1.2.840.10045.4.3.2", 5},
      {"2.16.840.1.101.3.4.2.2", 6},
      {"1.2.840.113549.1.1.12", 6},
      {"1.2.840.10045.4.3.3", 6},
      {"2.16.840.1.101.3.4.2.3", 7},
      {"1.2.840.113549.1.1.13", 7},
      {"1.2.840.10045.4.3.4", 7},
      {"1.2.840.113549.1.1.14", 4},
      {"2.16.840.1.101.3.4.2.4", 0},
      {"2.16.840.1.101.3.4.2.6", 0},
      {"1.2.840.113549.1.1.1", 0},
      {"1.2.840.10045.4.3.2.1", 0},
      {"1.2.840.10045.4.3", 0},
      {"", 0},
  };
  for (const Row& row : rows) {
    uint32_t id = 99;
    EXPECT_EQ(HashAlgorithmIdFromOid(row.oid, &id), row.id != 0) << row.oid;
    EXPECT_EQ(id, row.id) << row.oid;
  }
  uint32_t id = 99;
  EXPECT_FALSE(HashAlgorithmIdFromOid(nullptr, &id));
  EXPECT_EQ(id, 0u);
  Oid oid;
  EXPECT_FALSE(HashAlgorithmIdFromOid(oid, &id));
  ASSERT_TRUE(oid.Assign("1.2.840.10045.4.3.2"));
  EXPECT_TRUE(HashAlgorithmIdFromOid(oid, &id));
  EXPECT_EQ(id, 5u);
}

}  // namespace
}  // namespace upd::test
