#pragma once

#include <cstdint>
#include <span>

#include "verify/algorithms/hash_algorithm.h"
#include "verify/openpgp/pgp_public_key.h"
#include "verify/openpgp/pgp_signature.h"

// Finishes the digest over the signature's hashed fields (the hash already
// holds the signed data), compares the left 16 bits and checks the value with
// the key. 0 match; 3 no match; 6 an algorithm other than RSA and DSA, or one
// the key's kind does not use; 1 and 8 as the checks below give them.
[[nodiscard]] PgpResult PgpVerifySignature(const _PGP_SIGNATURE& signature, IHashAlgorithm* hash,
                                           const _PGP_PUBLIC_KEY& key);

// PKCS#1 v1.5 check of an RSA signature over the hash object's digest: 1 for a
// modulus size RSA does not accept or a key that does not import, 8 without
// memory, 3 no match.
[[nodiscard]] PgpResult PgpVerifyRsa(const _PGP_SIGNATURE& signature, IHashAlgorithm* hash,
                                     const _PGP_PUBLIC_KEY& key);

// DSA check of (r, s) over the digest: 8 for values that cannot be imported
// (a zero-bit value among them), 1 for r or s out of range or an arithmetic
// failure, 3 no match.
[[nodiscard]] PgpResult PgpVerifyDsa(const _PGP_SIGNATURE& signature,
                                     std::span<const uint8_t> digest, const _PGP_PUBLIC_KEY& key);
