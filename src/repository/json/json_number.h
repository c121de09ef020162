#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Number text in the C locale, whatever locale the process runs under: a
// comma-decimal locale must not change what a document means.
namespace wexajson {

// strtod over a NUL-terminated text: false when nothing was consumed or the
// value is out of the double range (ERANGE); else the value and the count of
// characters consumed.
[[nodiscard]] bool ReadDouble(const char* text, double* value, size_t* consumed);
// The whole of a NUL-terminated text of length bytes as a base-10 integer or
// a double (strtoll / strtod rules: leading blanks and a sign allowed); false
// for an empty text, trailing characters or a range error.
[[nodiscard]] bool WholeTextToInt64(const char* text, size_t length, int64_t* value);
[[nodiscard]] bool WholeTextToDouble(const char* text, size_t length, double* value);

// Appends "%f" of value: fixed notation, six decimals.
void AppendFixed(std::string& out, double value);
// Appends value as a text stream writes it by default: six significant
// digits, fixed or exponent form as "%g" chooses.
void AppendGeneral(std::string& out, double value);
void AppendInt64(std::string& out, int64_t value);

}  // namespace wexajson
