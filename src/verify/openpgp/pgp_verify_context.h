#pragma once

#include <cstdint>

#include "verify/openpgp/pgp_key.h"
#include "verify/openpgp/pgp_public_key.h"

inline constexpr uint32_t kPgpOnePassSize = 13;
// The file-name length of a literal packet is one octet.
inline constexpr uint32_t kPgpMaxFileName = 255;
// Selected key: none, or the key-block key; other values index the signing keys.
inline constexpr int64_t kPgpNoKeySelected = -1;
inline constexpr int64_t kPgpKeyBlockKeySelected = -2;

struct PgpLiteralRecord {
  uint32_t header_size = 0;
  uint64_t body_length = 0;
  int64_t position = -1;
  bool completed = false;
  uint8_t format = 0;
  uint8_t name_length = 0;
  uint32_t date = 0;
  char name[kPgpMaxFileName + 1] = {};
  // Where the content lies, counted from the stream's first packet.
  uint64_t content_offset = 0;
  uint64_t content_length = 0;
};

// What the last key block yielded. Code 9 means no certified key; 0 carries
// a copy of the key that was certified, 18 to 20 the refused key's time and ID.
struct PgpKeyBlockVerdict {
  PgpResult code = kPgpNotVerified;
  uint64_t creation_time = 0;
  uint64_t key_id = 0;
  PgpKeyBlockKey certified_key;
};

// The caller's inputs of one verification.
struct PgpVerifyInputs {
  bool locate_only = false;
  const PGP_KEY_LIST* certifying_keys = nullptr;
  const PGP_KEY_LIST* signing_keys = nullptr;
  const PGP_KEY_ID_LIST* blocked_ids = nullptr;
  const PGP_USER_ID* expected_user_id = nullptr;
  const int64_t* minimum_time = nullptr;
};

// The state of one verification.
struct _PGP_VERIFY_CONTEXT {
  int64_t one_pass_position = -1;
  uint8_t one_pass[kPgpOnePassSize] = {};
  PgpLiteralRecord literal;
  // The key of the key blocks read so far; it persists from block to block.
  PgpKeyBlockKey block_key;
  PgpKeyBlockVerdict verdict;
  int64_t selected = kPgpNoKeySelected;
  // The certified key as it was when a one-pass packet selected it: the
  // signature is checked against this copy, never against whatever a later
  // key block put into block_key.
  PgpKeyBlockKey selected_block_key;
  // Where the first packet starts in the stream's own positions, when the
  // stream reports positions.
  bool has_stream_start = false;
  uint64_t stream_start = 0;
};

// Clears the context: no one-pass or literal packet (positions -1), no key.
void PgpInitVerifyContext(_PGP_VERIFY_CONTEXT* context);

// Whether the ID is among the blocked ones.
bool PgpIsKeyIdBlocked(const PGP_KEY_ID_LIST* blocked, const uint8_t* key_id);
