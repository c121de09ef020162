#pragma once

#include <cstdint>
#include <span>

#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_signature.h"
#include "verify/openpgp/pgp_verify_context.h"

// Reads a key-block packet (tag 15) whose body the reader frames: a version
// byte, then for version 1 nested public-key, user ID and signature packets.
// Leaves its finding in the verdict (9 when no key was certified). The body
// is passed over to its declared end also when a nested packet ends the block
// early, so the packets that follow are read where they start; only when the
// stream fails even that are bytes of the body left unread, which the caller
// must refuse. Returns the code that ended the block (0 when read whole).
[[nodiscard]] PgpResult PgpReadKeyBlock(_PGP_VERIFY_CONTEXT* context, PgpBodyReader* body,
                                        const PgpPacketHeader& header,
                                        const PgpVerifyInputs& inputs, PgpKeyBlockVerdict* verdict);

// Checks that one of the certifying keys certified the context's key-block
// key under the user ID with this signature; on success the verdict becomes
// 0 with a copy of that key.
[[nodiscard]] PgpResult PgpVerifyKeyCertification(_PGP_VERIFY_CONTEXT* context,
                                                  const PGP_KEY_LIST* certifying_keys,
                                                  std::span<const uint8_t> user_id,
                                                  const _PGP_SIGNATURE& signature,
                                                  PgpKeyBlockVerdict* verdict);
