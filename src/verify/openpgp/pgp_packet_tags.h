#pragma once

#include <cstdint>

// Packet tags the verifier interprets; packets of other tags are passed over
// by their length.
enum PgpPacketTag : uint8_t {
  kPgpTagSignature = 2,
  kPgpTagOnePassSignature = 4,
  kPgpTagPublicKey = 6,
  kPgpTagLiteralData = 11,
  kPgpTagUserId = 13,
  // This system's own: a signing key, its user ID and the certification of
  // that key by a key the caller trusts.
  kPgpTagKeyBlock = 15,
};
