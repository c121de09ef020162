#pragma once

#include <cstdint>

#include "platform/util/sha1.h"
#include "platform/util/sha256.h"
#include "platform/util/sha512.h"
#include "verify/asn1/oid.h"
#include "verify/common/refcount.h"

// Numbering of hash algorithms; hash objects exist for SHA-1 to SHA-512/256.
enum HashAlgorithmId : uint32_t {
  kHashNone = 0,
  kHashMD2 = 1,
  kHashMD5 = 2,
  kHashSHA1 = 3,
  kHashSHA224 = 4,
  kHashSHA256 = 5,
  kHashSHA384 = 6,
  kHashSHA512 = 7,
  kHashSHA512_256 = 8,
};

// Largest digest any hash object produces.
inline constexpr uint32_t kMaxHashSize = 64;

// One digest computation, reusable: Initialize starts over, HashCore feeds,
// HashFinal finishes; the digest stays readable until the next Initialize.
class IHashAlgorithm {
 public:
  virtual ~IHashAlgorithm() = default;
  virtual void Initialize() = 0;
  // Hashes count bytes at data + offset; a null data pointer does nothing.
  virtual void HashCore(const uint8_t* data, uint64_t offset, uint64_t count) = 0;
  // Hashes the given bytes when count is not 0, then finishes. 0 on success.
  virtual int HashFinal(const uint8_t* data, uint64_t offset, uint64_t count) = 0;
  virtual const uint8_t* GetHash() = 0;
  virtual uint32_t GetHashSize() const = 0;
  virtual uint32_t GetAlgorithmId() const = 0;
};

class HashAlgorithm : public IHashAlgorithm {};

class HashAlgorithmSHA1 final : public HashAlgorithm {
 public:
  HashAlgorithmSHA1();
  void Initialize() override;
  void HashCore(const uint8_t* data, uint64_t offset, uint64_t count) override;
  int HashFinal(const uint8_t* data, uint64_t offset, uint64_t count) override;
  const uint8_t* GetHash() override;
  uint32_t GetHashSize() const override { return kSha1DigestSize; }
  uint32_t GetAlgorithmId() const override { return kHashSHA1; }

 private:
  SHA1_CONTEXT context_;
};

// Kinds of HashAlgorithmSHA2; the algorithm id is kind + 3.
enum Sha2Kind : uint32_t {
  kSha2Kind224 = 1,
  kSha2Kind256 = 2,
  kSha2Kind384 = 3,
  kSha2Kind512 = 4,
  kSha2Kind512_256 = 5,
};

class HashAlgorithmSHA2 final : public HashAlgorithm {
 public:
  // Another kind leaves the object without an update function and id 0.
  explicit HashAlgorithmSHA2(uint32_t kind);
  void Initialize() override;
  void HashCore(const uint8_t* data, uint64_t offset, uint64_t count) override;
  int HashFinal(const uint8_t* data, uint64_t offset, uint64_t count) override;
  const uint8_t* GetHash() override { return digest_; }
  uint32_t GetHashSize() const override;
  uint32_t GetAlgorithmId() const override { return algorithm_id_; }

 private:
  using UpdateFunction = void (*)(HashAlgorithmSHA2& self, const uint8_t* data, uint64_t count);
  static void Update256(HashAlgorithmSHA2& self, const uint8_t* data, uint64_t count);
  static void Update512(HashAlgorithmSHA2& self, const uint8_t* data, uint64_t count);

  UpdateFunction update_ = nullptr;
  uint32_t algorithm_id_ = kHashNone;
  SHA256_CONTEXT sha256_{};
  SHA512_CONTEXT sha512_{};
  uint32_t kind_;
  uint8_t digest_[kMaxHashSize] = {};
};

// A new hash object for ids 3 to 8; empty for any other id or without memory.
[[nodiscard]] CountedPtr<IHashAlgorithm> CreateHashAlgorithm(uint32_t id);

// Initialize, then HashFinal over the data; the digest, or null for null data
// or a null object.
const uint8_t* ComputeHash(IHashAlgorithm* hash, const uint8_t* data, uint64_t offset,
                           uint64_t count);

// Digest size of an id (20, 28, 32, 48, 64, 32 for ids 3 to 8), else 0.
uint32_t GetHashSizeForId(uint32_t id);

// Maps a digest or signature-algorithm OID in dotted text to its hash id.
// True when the OID is known; *id is always written (0 when unknown).
bool HashAlgorithmIdFromOid(const char* oid, uint32_t* id);
bool HashAlgorithmIdFromOid(const Oid& oid, uint32_t* id);
