#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_public_key.h"

// OpenPGP public-key algorithm numbers the verifier knows.
enum PgpPublicKeyAlgorithm : uint8_t {
  kPgpAlgorithmRsa = 1,
  kPgpAlgorithmRsaEncryptOnly = 2,
  kPgpAlgorithmRsaSignOnly = 3,
  kPgpAlgorithmDsa = 17,
};

// A subpacket area as read: its 2-byte big-endian length, then the area.
struct PgpArea {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t size = 0;
  std::span<const uint8_t> All() const { return {bytes.get(), size}; }
};

// One signature packet. For version 3 the hashed area holds the 5 bytes of
// signature type and creation time (no length in front).
struct _PGP_SIGNATURE {
  _PGP_SIGNATURE() = default;
  _PGP_SIGNATURE(const _PGP_SIGNATURE&) = delete;
  _PGP_SIGNATURE& operator=(const _PGP_SIGNATURE&) = delete;
  ~_PGP_SIGNATURE();

  uint8_t version = 0;
  uint8_t type = 0;
  uint8_t public_key_algorithm = 0;
  uint8_t hash_algorithm = 0;
  PgpArea hashed;
  PgpArea unhashed;
  uint8_t issuer[kPgpKeyIdSize] = {};
  bool has_issuer = false;  // versions below 3 carry none and match no key
  uint8_t left16[2] = {};
  _PGP_MPI mpi[2] = {};
};

// Reads a signature packet's body, exactly to its end. Codes: 15 short or
// malformed (fields ending before or after the body's end, a bad subpacket,
// version 3 without its length byte 5), 10 version 4 without an issuer
// subpacket, 8 without memory.
[[nodiscard]] PgpResult PgpReadSignature(PgpBodyReader* body, _PGP_SIGNATURE* signature);

// Number of signature MPIs of a public-key algorithm (0 for unknown ones).
uint32_t PgpSignatureMpiCount(uint8_t public_key_algorithm);
