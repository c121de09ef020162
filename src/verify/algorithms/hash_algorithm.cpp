#include "verify/algorithms/hash_algorithm.h"

#include <string_view>

namespace {

struct OidMapping {
  uint32_t id;
  std::string_view oid;
};

// Tested in this order; digest OIDs and the RSA, DSA and ECDSA signature
// OIDs with that digest map alike.
constexpr OidMapping kOidMappings[] = {
    {kHashMD2, "1.2.840.113549.1.1.2"},
    {kHashMD2, "1.2.840.113549.2.2"},
    {kHashMD2, "1.3.14.7.2.3.1"},
    {kHashMD5, "1.2.840.113549.1.1.4"},
    {kHashMD5, "1.2.840.113549.2.5"},
    {kHashMD5, "1.3.14.3.2.3"},
    {kHashSHA1, "1.2.840.113549.1.1.5"},
    {kHashSHA1, "1.3.14.3.2.29"},
    {kHashSHA1, "1.2.840.10040.4.3"},
    {kHashSHA1, "1.3.14.3.2.26"},
    {kHashSHA1, "1.3.14.3.2.15"},
    {kHashSHA1, "1.3.14.3.2.13"},
    {kHashSHA1, "1.3.14.3.2.27"},
    {kHashSHA1, "2.16.840.1.101.2.1.1.19"},
    {kHashSHA1, "1.2.840.10045.4.1"},
    {kHashSHA256, "2.16.840.1.101.3.4.2.1"},
    {kHashSHA256, "1.2.840.113549.1.1.11"},
    {kHashSHA256, "1.2.840.10045.4.3.2"},
    {kHashSHA384, "2.16.840.1.101.3.4.2.2"},
    {kHashSHA384, "1.2.840.113549.1.1.12"},
    {kHashSHA384, "1.2.840.10045.4.3.3"},
    {kHashSHA512, "2.16.840.1.101.3.4.2.3"},
    {kHashSHA512, "1.2.840.113549.1.1.13"},
    {kHashSHA512, "1.2.840.10045.4.3.4"},
    {kHashSHA224, "1.2.840.113549.1.1.14"},
};

}  // namespace

HashAlgorithmSHA1::HashAlgorithmSHA1() { Initialize(); }

void HashAlgorithmSHA1::Initialize() { Sha1Init(&context_); }

void HashAlgorithmSHA1::HashCore(const uint8_t* data, uint64_t offset, uint64_t count) {
  if (data == nullptr) return;
  Sha1Update(&context_, data + offset, count);
}

int HashAlgorithmSHA1::HashFinal(const uint8_t* data, uint64_t offset, uint64_t count) {
  if (count != 0) HashCore(data, offset, count);
  Sha1Final(&context_);
  return 0;
}

const uint8_t* HashAlgorithmSHA1::GetHash() { return Sha1Digest(&context_); }

HashAlgorithmSHA2::HashAlgorithmSHA2(uint32_t kind) : kind_(kind) { Initialize(); }

void HashAlgorithmSHA2::Initialize() {
  int status = 1;
  switch (kind_) {
    case kSha2Kind224:
      status = Sha224Init(&sha256_);
      break;
    case kSha2Kind256:
      status = Sha256Init(&sha256_);
      break;
    case kSha2Kind384:
      status = Sha384Init(&sha512_);
      break;
    case kSha2Kind512:
      status = Sha512Init(&sha512_);
      break;
    case kSha2Kind512_256:
      status = Sha512_256Init(&sha512_);
      break;
    default:
      return;
  }
  if (status != 0) return;
  algorithm_id_ = kind_ + 3;
  update_ = kind_ <= kSha2Kind256 ? &Update256 : &Update512;
}

void HashAlgorithmSHA2::HashCore(const uint8_t* data, uint64_t offset, uint64_t count) {
  if (data == nullptr || update_ == nullptr) return;
  update_(*this, data + offset, count);
}

int HashAlgorithmSHA2::HashFinal(const uint8_t* data, uint64_t offset, uint64_t count) {
  if (count != 0) HashCore(data, offset, count);
  switch (kind_) {
    case kSha2Kind224:
      return Sha224Final(&sha256_, digest_, sizeof(digest_)) == 0 ? 0 : 1;
    case kSha2Kind256:
      return Sha256Final(&sha256_, digest_, sizeof(digest_)) == 0 ? 0 : 1;
    case kSha2Kind384:
    case kSha2Kind512:
    case kSha2Kind512_256:
      return Sha512Finish(&sha512_, digest_, sizeof(digest_), GetHashSize()) == 0 ? 0 : 1;
    default:
      return 1;
  }
}

uint32_t HashAlgorithmSHA2::GetHashSize() const {
  switch (kind_) {
    case kSha2Kind224:
      return kSha224DigestSize;
    case kSha2Kind256:
      return kSha256DigestSize;
    case kSha2Kind384:
      return kSha384DigestSize;
    case kSha2Kind512:
      return kSha512DigestSize;
    case kSha2Kind512_256:
      return kSha512_256DigestSize;
    default:
      return 0;
  }
}

void HashAlgorithmSHA2::Update256(HashAlgorithmSHA2& self, const uint8_t* data, uint64_t count) {
  (void)Sha256Update(&self.sha256_, data, count);
}

void HashAlgorithmSHA2::Update512(HashAlgorithmSHA2& self, const uint8_t* data, uint64_t count) {
  (void)Sha512Update(&self.sha512_, data, count);
}

CountedPtr<IHashAlgorithm> CreateHashAlgorithm(uint32_t id) {
  if (id == kHashSHA1) return MakeCounted<HashAlgorithmSHA1>();
  if (id >= kHashSHA224 && id <= kHashSHA512_256) return MakeCounted<HashAlgorithmSHA2>(id - 3);
  return {};
}

const uint8_t* ComputeHash(IHashAlgorithm* hash, const uint8_t* data, uint64_t offset,
                           uint64_t count) {
  if (hash == nullptr || data == nullptr) return nullptr;
  hash->Initialize();
  if (hash->HashFinal(data, offset, count) != 0) return nullptr;
  return hash->GetHash();
}

uint32_t GetHashSizeForId(uint32_t id) {
  switch (id) {
    case kHashSHA1:
      return kSha1DigestSize;
    case kHashSHA224:
      return kSha224DigestSize;
    case kHashSHA256:
    case kHashSHA512_256:
      return kSha256DigestSize;
    case kHashSHA384:
      return kSha384DigestSize;
    case kHashSHA512:
      return kSha512DigestSize;
    default:
      return 0;
  }
}

bool HashAlgorithmIdFromOid(const char* oid, uint32_t* id) {
  uint32_t found = kHashNone;
  if (oid != nullptr) {
    for (const OidMapping& mapping : kOidMappings) {
      if (mapping.oid == oid) {
        found = mapping.id;
        break;
      }
    }
  }
  if (id != nullptr) *id = found;
  return found != kHashNone;
}

bool HashAlgorithmIdFromOid(const Oid& oid, uint32_t* id) {
  return HashAlgorithmIdFromOid(oid.GetText(), id);
}
