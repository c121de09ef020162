#pragma once

#include <cstdint>

// Result codes of the OpenPGP verifier; its readers and checks use the same
// numbers.
enum PgpResult : uint32_t {
  kPgpOk = 0,
  kPgpUnreadable = 1,       // one-pass, literal or key field unreadable; bad RSA/DSA input
  kPgpNoKey = 2,            // literal or signature reached with no key and no verdict
  kPgpMismatch = 3,         // left 16 bits, RSA or DSA check did not match
  kPgpHashUnsupported = 5,  // no hash object for the algorithm
  kPgpAlgorithmUnsupported = 6,
  kPgpNoMemory = 8,
  kPgpNotVerified = 9,  // content located, no checked signature; no certified key
  kPgpNoIssuer = 10,    // version 4 signature without an issuer subpacket
  kPgpMissingArgument = 11,
  kPgpBadKeyList = 12,     // empty key list, or a missing or incomplete key in it
  kPgpPartialLength = 13,  // partial or indeterminate packet length
  kPgpNotAPacket = 14,     // header without bit 7; key of zero packet length
  kPgpMalformed = 15,
  kPgpKeyVersion = 16,  // public-key packet of a version other than 4
  kPgpKeyBlocked = 18,
  kPgpKeyTooOld = 19,
  kPgpUserIdMismatch = 20,
};

// Kinds of _PGP_PUBLIC_KEY.
enum PgpKeyKind : uint32_t {
  kPgpKeyDsa = 1,
  kPgpKeyRsa = 2,
};

inline constexpr uint32_t kPgpKeyIdSize = 8;
inline constexpr uint32_t kPgpMpiSlots = 4;

// One multi-precision value: big-endian bytes, (bits + 7) / 8 of them. Owned
// data was allocated by the verifier with new[] and is freed by PgpFreeMpi.
struct _PGP_MPI {
  uint32_t bits = 0;
  const uint8_t* data = nullptr;
  uint32_t owned = 0;
};

// A public key handed to the verifier. RSA uses slots 0-1 (n, e), DSA slots
// 0-3 (p, q, g, y). value is what the verifier reports when this key made the
// checked signature.
struct _PGP_PUBLIC_KEY {
  uint32_t kind = 0;
  const uint8_t* key_id = nullptr;
  uint64_t value = 0;
  _PGP_MPI mpi[kPgpMpiSlots] = {};
};

// A list of keys: count entries, each a pointer to a key.
struct PGP_KEY_LIST {
  uint64_t count = 0;
  _PGP_PUBLIC_KEY* const* keys = nullptr;
};

// A list of blocked key IDs: count pointers to 8-byte IDs.
struct PGP_KEY_ID_LIST {
  uint64_t count = 0;
  const uint8_t* const* ids = nullptr;
};

// The expected signer user ID (no terminator).
struct PGP_USER_ID {
  uint32_t length = 0;
  const uint8_t* bytes = nullptr;
};

// Fills a key record in place with owned flags 0. value is read from the
// pointer (0 when null); slots 3 and 4 are filled only when data3 is given.
void PgpSetPublicKey(_PGP_PUBLIC_KEY* key, uint32_t kind, const uint8_t* key_id,
                     const uint64_t* value, uint32_t bits1, const uint8_t* data1, uint32_t bits2,
                     const uint8_t* data2, uint32_t bits3, const uint8_t* data3, uint32_t bits4,
                     const uint8_t* data4);

// Frees the slot's data when owned and clears the slot.
void PgpFreeMpi(_PGP_MPI* slot);

// Number of MPI slots the key's kind uses (0 for an unknown kind).
uint32_t PgpKeySlotCount(uint32_t kind);

// A key is complete when its kind is known and every slot it uses has data.
bool PgpIsKeyComplete(const _PGP_PUBLIC_KEY& key);

// Whether the 8-byte IDs are equal; a missing ID equals nothing.
bool PgpKeyIdEquals(const uint8_t* a, const uint8_t* b);

// The 8-byte ID as a big-endian number, as keys are listed.
uint64_t PgpKeyIdValue(const uint8_t* id);
