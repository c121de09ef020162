#include "verify/openpgp/pgp_signature.h"

#include <cstring>
#include <new>

namespace {

constexpr uint8_t kSubpacketIssuer = 16;
// The top bit of a subpacket type marks it critical; it is not part of the type.
constexpr uint8_t kSubpacketTypeMask = 0x7F;
constexpr uint8_t kVersion3HashedSize = 5;

// Reads a 2-byte length and that many bytes, kept with the length in front.
PgpResult ReadArea(PgpBodyReader* body, PgpArea* area) {
  uint16_t length = 0;
  if (body->ReadUInt16BE(&length) != kPgpOk) return kPgpMalformed;
  if (length > body->Left()) return kPgpMalformed;
  const uint32_t size = uint32_t{length} + 2;
  area->bytes.reset(new (std::nothrow) uint8_t[size]);
  if (area->bytes == nullptr) return kPgpNoMemory;
  area->size = size;
  area->bytes[0] = static_cast<uint8_t>(length >> 8);
  area->bytes[1] = static_cast<uint8_t>(length);
  return body->Read(std::span<uint8_t>(area->bytes.get() + 2, length)) == kPgpOk ? kPgpOk
                                                                                 : kPgpMalformed;
}

// Walks every subpacket of an area (without its length) and copies the first
// issuer ID. kPgpOk with *found false when there is none; 15 when a
// subpacket runs past the area or an issuer holds other than 8 bytes.
PgpResult FindIssuer(std::span<const uint8_t> area, uint8_t* issuer, bool* found) {
  *found = false;
  size_t at = 0;
  while (at < area.size()) {
    const uint8_t first = area[at];
    uint64_t length = 0;
    size_t header = 1;
    if (first < 192) {
      length = first;
    } else if (first < 255) {
      if (area.size() - at < 2) return kPgpMalformed;
      length = ((uint64_t{first} - 192) << 8) + area[at + 1] + 192;
      header = 2;
    } else {
      if (area.size() - at < 5) return kPgpMalformed;
      length = (uint64_t{area[at + 1]} << 24) | (uint64_t{area[at + 2]} << 16) |
               (uint64_t{area[at + 3]} << 8) | area[at + 4];
      header = 5;
    }
    at += header;
    // The length counts the type octet, so 0 leaves no room for one.
    if (length == 0 || length > area.size() - at) return kPgpMalformed;
    if ((area[at] & kSubpacketTypeMask) == kSubpacketIssuer) {
      if (length - 1 != kPgpKeyIdSize) return kPgpMalformed;
      if (!*found) std::memcpy(issuer, area.data() + at + 1, kPgpKeyIdSize);
      *found = true;
    }
    at += length;
  }
  return kPgpOk;
}

PgpResult ReadVersion3(PgpBodyReader* body, _PGP_SIGNATURE* sig) {
  uint8_t hashed_length = 0;
  if (body->ReadUInt8(&hashed_length) != kPgpOk) return kPgpMalformed;
  if (hashed_length != kVersion3HashedSize) return kPgpMalformed;
  sig->hashed.bytes.reset(new (std::nothrow) uint8_t[kVersion3HashedSize]);
  if (sig->hashed.bytes == nullptr) return kPgpNoMemory;
  sig->hashed.size = kVersion3HashedSize;
  if (body->Read(std::span<uint8_t>(sig->hashed.bytes.get(), kVersion3HashedSize)) != kPgpOk ||
      body->Read(sig->issuer) != kPgpOk || body->ReadUInt8(&sig->public_key_algorithm) != kPgpOk ||
      body->ReadUInt8(&sig->hash_algorithm) != kPgpOk) {
    return kPgpMalformed;
  }
  sig->type = sig->hashed.bytes[0];
  sig->has_issuer = true;
  return kPgpOk;
}

PgpResult ReadVersion4(PgpBodyReader* body, _PGP_SIGNATURE* sig) {
  if (body->ReadUInt8(&sig->type) != kPgpOk ||
      body->ReadUInt8(&sig->public_key_algorithm) != kPgpOk ||
      body->ReadUInt8(&sig->hash_algorithm) != kPgpOk) {
    return kPgpMalformed;
  }
  PgpResult rc = ReadArea(body, &sig->hashed);
  if (rc == kPgpOk) rc = ReadArea(body, &sig->unhashed);
  if (rc != kPgpOk) return rc;
  // Both areas must be well formed; an issuer in the unhashed area wins over
  // one in the hashed area.
  uint8_t hashed_issuer[kPgpKeyIdSize] = {};
  bool in_hashed = false;
  rc = FindIssuer(sig->unhashed.All().subspan(2), sig->issuer, &sig->has_issuer);
  if (rc == kPgpOk) rc = FindIssuer(sig->hashed.All().subspan(2), hashed_issuer, &in_hashed);
  if (rc != kPgpOk) return rc;
  if (!sig->has_issuer && in_hashed) {
    std::memcpy(sig->issuer, hashed_issuer, kPgpKeyIdSize);
    sig->has_issuer = true;
  }
  return sig->has_issuer ? kPgpOk : kPgpNoIssuer;
}

}  // namespace

_PGP_SIGNATURE::~_PGP_SIGNATURE() {
  for (_PGP_MPI& slot : mpi) PgpFreeMpi(&slot);
}

uint32_t PgpSignatureMpiCount(uint8_t public_key_algorithm) {
  if (public_key_algorithm == kPgpAlgorithmRsa) return 1;
  if (public_key_algorithm == kPgpAlgorithmDsa) return 2;
  return 0;
}

PgpResult PgpReadSignature(PgpBodyReader* body, _PGP_SIGNATURE* sig) {
  if (body == nullptr || sig == nullptr) return kPgpMissingArgument;
  if (body->ReadUInt8(&sig->version) != kPgpOk) return kPgpMalformed;
  PgpResult rc = kPgpOk;
  if (sig->version == 3) {
    rc = ReadVersion3(body, sig);
  } else if (sig->version > 3) {
    rc = ReadVersion4(body, sig);
  }
  if (rc != kPgpOk) return rc;
  if (body->Read(sig->left16) != kPgpOk) return kPgpMalformed;
  const uint32_t count = PgpSignatureMpiCount(sig->public_key_algorithm);
  for (uint32_t i = 0; i < count; ++i) {
    rc = PgpReadMpi(body, &sig->mpi[i]);
    if (rc != kPgpOk) return rc;
  }
  // Values of an algorithm this verifier cannot check are passed over whole;
  // for the ones it reads, the fields must fill the body exactly.
  if (count == 0) return body->SkipRest();
  return body->Left() == 0 ? kPgpOk : kPgpMalformed;
}
