#pragma once

#include <cstdint>

#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_public_key.h"
#include "verify/openpgp/pgp_verify_context.h"

// Checks an OpenPGP one-pass signed message read forward from the stream
// (key block, one-pass signature, literal data, signature) against the
// caller's keys, and reports where the literal content lies, counted from the
// stream's position on entry, so the caller can use it in place.
//
// Result 0 alone means the content is authentic: a signature made by a
// signing key, or by a key-block key that a certifying key certified under
// the expected user ID, verified over exactly the bytes at offset..offset +
// length, which lie inside the stream. 9 means the content was only located.
// offset and length are required and stay 0 unless the result is 0 or 9;
// every other pointer may be null.
[[nodiscard]] PgpResult PgpVerifySignedStream(
    IBinaryInputStream* stream, bool locate_only, const PGP_KEY_LIST* certifying_keys,
    const PGP_KEY_LIST* signing_keys, const PGP_KEY_ID_LIST* blocked_ids,
    const PGP_USER_ID* expected_user_id, const int64_t* minimum_time, uint64_t* offset,
    uint64_t* length, int64_t* key_index, uint64_t* reported_value);

// Where the packet loop reports the checked key.
struct PgpVerifyOutputs {
  int64_t* key_index = nullptr;
  uint64_t* reported_value = nullptr;
};

// The packet loop: reads packets until a signature is checked against the
// selected key, an error ends it, or the stream has no bytes left (9).
[[nodiscard]] PgpResult PgpParseSignedStream(_PGP_VERIFY_CONTEXT* context,
                                             IBinaryInputStream* stream,
                                             const PgpVerifyInputs& inputs,
                                             const PgpVerifyOutputs& outputs);
