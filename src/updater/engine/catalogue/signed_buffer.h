#pragma once

#include <cstdint>
#include <string_view>

#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_public_key.h"

// Signer user IDs the update key certifies: catalogues and update packages
// are signed under the first, repository documents under the second.
inline constexpr std::string_view kUpdateSigner = "Wexa Update Signing Certificate";
inline constexpr std::string_view kRepositorySigner = "Wexa Repository Signing Certificate";

// Checks the OpenPGP signed message read from stream (from its position on
// entry) with the update key as the only certifying key and signer as the
// expected user ID. Returns the verifier's code: kPgpOk alone means valid, and
// then the literal content lies at offset..offset + length, counted from
// that position. kPgpNotVerified when the stream cannot be attached.
[[nodiscard]] PgpResult VerifySignedMessage(IInputStream* stream, std::string_view signer,
                                            uint64_t* offset, uint64_t* length);

// True when data is an OpenPGP signed message that verifies under signer;
// its payload (the literal content) then lies at payload_offset with
// payload_length bytes inside data. Empty data is never valid.
[[nodiscard]] bool CheckSignedBuffer(const uint8_t* data, uint64_t length,
                                     uint64_t* payload_offset, uint64_t* payload_length,
                                     std::string_view signer);
