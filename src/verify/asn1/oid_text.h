#pragma once

#include <cstdint>
#include <memory>

#include "verify/asn1/asn1.h"
#include "verify/asn1/oid.h"
#include "verify/common/byte_array.h"

// DER content of an OBJECT IDENTIFIER to dotted text. With a null buffer,
// size receives the text length (without the NUL); otherwise size is the
// buffer's capacity in characters and receives the text length on success.
[[nodiscard]] int OidToText(const ASN1& node, char* buffer, int64_t& size);
[[nodiscard]] int OidToText(const ASN1& node, Oid& oid);

// The lenient form for display: a leading zero group is read, an arc wider
// than 32 bits keeps its low 32 bits and an unfinished last group is ignored.
// On success the caller's previous text is replaced.
[[nodiscard]] int OidToWideText(const ASN1& node, std::unique_ptr<wchar_t[]>& text);

// Dotted text to the complete DER element (06, length, content).
[[nodiscard]] int TextToOid(const char* text, ByteArray& out);
