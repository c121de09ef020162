#pragma once

#include <cstdint>
#include <string_view>

#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_public_key.h"

// Update packages (".nup"): an OpenPGP signed message whose literal content
// is the container of package_layout.h. OpenedPackage (opened_package.h)
// opens one.

// Name of a package kept on disk; the number is random (CreateUniqueFile).
inline constexpr char kPackageNameFormat[] = "zel%08X.nup";

// A module file name that names a file of the folder it is placed in and
// nothing else: not empty, at most 255 bytes, without '/', '\\' or "..".
[[nodiscard]] bool IsPlainFileName(std::string_view name);

// The verifier's code (kPgpOk when the signed message read from stream
// verifies under the update key and "Wexa Update Signing Certificate"; kPgpNotVerified
// when the stream cannot be attached). On kPgpOk the optional outputs receive
// where the literal content lies, counted from the stream's position on entry.
[[nodiscard]] PgpResult VerifyUpdatePackageSignature(IInputStream* stream,
                                                     uint64_t* content_offset = nullptr,
                                                     uint64_t* content_length = nullptr);
