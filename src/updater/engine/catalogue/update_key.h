#pragma once

#include <cstdint>
#include <span>

#include "verify/openpgp/pgp_public_key.h"

// The numbers of an RSA public key kept in the library's constant data.
struct EmbeddedPgpKey {
  std::span<const uint8_t> modulus;
  uint32_t modulus_bits;
  std::span<const uint8_t> exponent;
  uint32_t exponent_bits;
  std::span<const uint8_t, kPgpKeyIdSize> key_id;
};

// The update key, the only key that certifies the signers of catalogues,
// packages and repository documents. It is a build input: configure reads
// update-key.pgp of the trust folder (cmake/pgp_key_embed.py) and generates
// the definition.
[[nodiscard]] const EmbeddedPgpKey& EmbeddedUpdateKey();

// A verifier key record of the update key. It views the constant data and
// owns nothing, so it needs no release.
[[nodiscard]] _PGP_PUBLIC_KEY UpdateKeyRecord();
