#pragma once

#include <cstdint>

#include "verify/algorithms/hash_algorithm.h"
#include "verify/common/refcount.h"
#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_public_key.h"

inline constexpr uint32_t kPgpFingerprintSize = 20;

// OpenPGP hash algorithm numbers with a hash object.
enum PgpHashAlgorithm : uint8_t {
  kPgpHashSha1 = 2,
  kPgpHashSha256 = 8,
  kPgpHashSha384 = 9,
  kPgpHashSha512 = 10,
  kPgpHashSha224 = 11,
};

// A public key read from a public-key packet, with the fields its version 4
// fingerprint covers. key.key_id points into the fingerprint; the MPI slots
// are owned and freed with the object.
class PgpKeyBlockKey {
 public:
  PgpKeyBlockKey() { Clear(); }
  PgpKeyBlockKey(const PgpKeyBlockKey&) = delete;
  PgpKeyBlockKey& operator=(const PgpKeyBlockKey&) = delete;
  ~PgpKeyBlockKey() { Clear(); }

  // Frees the values and forgets the key.
  void Clear();
  // A deep copy of another key; false without memory (this key is then clear).
  [[nodiscard]] bool CopyFrom(const PgpKeyBlockKey& other);
  bool IsComplete() const { return loaded && PgpIsKeyComplete(key); }

  uint8_t version = 0;
  uint8_t algorithm = 0;
  uint16_t packet_length = 0;
  uint32_t creation_time = 0;
  uint8_t fingerprint[kPgpFingerprintSize] = {};
  _PGP_PUBLIC_KEY key;
  // Set once every field and the fingerprint were read.
  bool loaded = false;
};

// Reads a public-key packet's body exactly to its end into the key, then
// computes its fingerprint and key ID; the reported value is the creation
// time. Codes: 15 not tag 6, shorter than 6, longer than 65535 or fields not
// filling the body; 1 a key field unreadable; 16 version other than 4; 6 an
// algorithm other than RSA (1-3) or DSA (17); 8 without memory.
[[nodiscard]] PgpResult PgpReadPublicKey(PgpBodyReader* body, const PgpPacketHeader& header,
                                         PgpKeyBlockKey* key);

// Hashes the key as its fingerprint and certifications cover it: 0x99, the
// 2-byte packet length, version, creation time, algorithm and each MPI with
// its bit count. 14 for a zero length, 16 below version 4, 15 incomplete.
[[nodiscard]] PgpResult PgpHashPublicKey(IHashAlgorithm* hash, const PgpKeyBlockKey& key);

// An initialised hash object for an OpenPGP hash algorithm number: 5 for a
// number without one, 8 when it cannot be made.
[[nodiscard]] PgpResult PgpCreateHash(uint8_t pgp_hash_algorithm, CountedPtr<IHashAlgorithm>* hash);
