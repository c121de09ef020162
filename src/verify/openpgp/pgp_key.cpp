#include "verify/openpgp/pgp_key.h"

#include <cstring>
#include <memory>
#include <new>

#include "verify/openpgp/pgp_packet_tags.h"
#include "verify/openpgp/pgp_signature.h"

namespace {

constexpr uint8_t kKeyVersion = 4;
// Version, 4-byte creation time and algorithm.
constexpr uint64_t kKeyFixedFields = 6;
// The fingerprint frames the packet with a 2-byte length.
constexpr uint64_t kMaxKeyPacketLength = 0xFFFF;
constexpr uint8_t kFingerprintPrefix = 0x99;

uint32_t KindOfAlgorithm(uint8_t algorithm) {
  switch (algorithm) {
    case kPgpAlgorithmRsa:
    case kPgpAlgorithmRsaEncryptOnly:
    case kPgpAlgorithmRsaSignOnly:
      return kPgpKeyRsa;
    case kPgpAlgorithmDsa:
      return kPgpKeyDsa;
    default:
      return 0;
  }
}

bool CopyMpi(const _PGP_MPI& from, _PGP_MPI* to) {
  *to = {};
  if (from.data == nullptr) return true;
  const uint32_t size = (from.bits + 7) / 8;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
  if (data == nullptr) return false;
  std::memcpy(data.get(), from.data, size);
  *to = {from.bits, data.release(), 1};
  return true;
}

}  // namespace

void PgpKeyBlockKey::Clear() {
  for (_PGP_MPI& slot : key.mpi) PgpFreeMpi(&slot);
  version = 0;
  algorithm = 0;
  packet_length = 0;
  creation_time = 0;
  std::memset(fingerprint, 0, sizeof(fingerprint));
  key.kind = 0;
  key.key_id = fingerprint + kPgpFingerprintSize - kPgpKeyIdSize;
  key.value = 0;
  loaded = false;
}

bool PgpKeyBlockKey::CopyFrom(const PgpKeyBlockKey& other) {
  if (&other == this) return true;
  Clear();
  for (uint32_t i = 0; i < kPgpMpiSlots; ++i) {
    if (!CopyMpi(other.key.mpi[i], &key.mpi[i])) {
      Clear();
      return false;
    }
  }
  version = other.version;
  algorithm = other.algorithm;
  packet_length = other.packet_length;
  creation_time = other.creation_time;
  std::memcpy(fingerprint, other.fingerprint, sizeof(fingerprint));
  key.kind = other.key.kind;
  key.value = other.key.value;
  loaded = other.loaded;
  return true;
}

PgpResult PgpReadPublicKey(PgpBodyReader* body, const PgpPacketHeader& header,
                           PgpKeyBlockKey* out) {
  if (body == nullptr || out == nullptr) return kPgpMissingArgument;
  if (header.tag != kPgpTagPublicKey || header.body_length < kKeyFixedFields ||
      header.body_length > kMaxKeyPacketLength) {
    return kPgpMalformed;
  }
  out->Clear();
  out->packet_length = static_cast<uint16_t>(header.body_length);
  if (body->ReadUInt8(&out->version) != kPgpOk ||
      body->ReadUInt32BE(&out->creation_time) != kPgpOk) {
    return kPgpUnreadable;
  }
  if (out->version != kKeyVersion) return kPgpKeyVersion;
  if (body->ReadUInt8(&out->algorithm) != kPgpOk) return kPgpUnreadable;
  out->key.kind = KindOfAlgorithm(out->algorithm);
  if (out->key.kind == 0) return kPgpAlgorithmUnsupported;
  const uint32_t slots = PgpKeySlotCount(out->key.kind);
  for (uint32_t i = 0; i < slots; ++i) {
    const PgpResult rc = PgpReadMpi(body, &out->key.mpi[i]);
    if (rc != kPgpOk) return rc;
  }
  // Bytes after the values would be left out of the fingerprint.
  if (body->Left() != 0) return kPgpMalformed;
  CountedPtr<IHashAlgorithm> sha1;
  PgpResult rc = PgpCreateHash(kPgpHashSha1, &sha1);
  if (rc != kPgpOk) return kPgpNoMemory;
  out->loaded = true;
  rc = PgpHashPublicKey(sha1.Get(), *out);
  if (rc != kPgpOk || sha1->HashFinal(nullptr, 0, 0) != 0) {
    out->loaded = false;
    return rc != kPgpOk ? rc : kPgpNoMemory;
  }
  std::memcpy(out->fingerprint, sha1->GetHash(), kPgpFingerprintSize);
  out->key.value = out->creation_time;
  return kPgpOk;
}

PgpResult PgpHashPublicKey(IHashAlgorithm* hash, const PgpKeyBlockKey& key) {
  if (hash == nullptr) return kPgpMissingArgument;
  if (key.packet_length == 0) return kPgpNotAPacket;
  if (key.version < kKeyVersion) return kPgpKeyVersion;
  if (!key.IsComplete()) return kPgpMalformed;
  const uint8_t head[] = {kFingerprintPrefix,
                          static_cast<uint8_t>(key.packet_length >> 8),
                          static_cast<uint8_t>(key.packet_length),
                          key.version,
                          static_cast<uint8_t>(key.creation_time >> 24),
                          static_cast<uint8_t>(key.creation_time >> 16),
                          static_cast<uint8_t>(key.creation_time >> 8),
                          static_cast<uint8_t>(key.creation_time),
                          key.algorithm};
  hash->HashCore(head, 0, sizeof(head));
  const uint32_t slots = PgpKeySlotCount(key.key.kind);
  for (uint32_t i = 0; i < slots; ++i) {
    const _PGP_MPI& mpi = key.key.mpi[i];
    const uint8_t bits[] = {static_cast<uint8_t>(mpi.bits >> 8), static_cast<uint8_t>(mpi.bits)};
    hash->HashCore(bits, 0, sizeof(bits));
    hash->HashCore(mpi.data, 0, (mpi.bits + 7) / 8);
  }
  return kPgpOk;
}

PgpResult PgpCreateHash(uint8_t pgp_hash_algorithm, CountedPtr<IHashAlgorithm>* hash) {
  if (hash == nullptr) return kPgpMissingArgument;
  uint32_t id = kHashNone;
  switch (pgp_hash_algorithm) {
    case kPgpHashSha1:
      id = kHashSHA1;
      break;
    case kPgpHashSha256:
      id = kHashSHA256;
      break;
    case kPgpHashSha384:
      id = kHashSHA384;
      break;
    case kPgpHashSha512:
      id = kHashSHA512;
      break;
    case kPgpHashSha224:
      id = kHashSHA224;
      break;
    default:
      return kPgpHashUnsupported;
  }
  *hash = CreateHashAlgorithm(id);
  if (!*hash) return kPgpNoMemory;
  (*hash)->Initialize();
  return kPgpOk;
}
