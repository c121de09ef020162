#pragma once

#include <string_view>

#include "verify/common/byte_array.h"

// Decodes the base64 body between "-----BEGIN <label>-----" and
// "-----END <label>-----" (the first of each in the text, which ends at its
// first NUL). The one character after the BEGIN marker, normally the line
// feed, is skipped. False when a marker is missing, the END marker does not
// follow the BEGIN marker by at least one character, or memory runs out.
[[nodiscard]] bool PemDecode(std::string_view label, const ByteArray& input, ByteArray& out);
