#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/util/c_locale.h"

// Locale-independent number text. The process may run under any locale; these
// always parse and print as the POSIX locale does.

// 32-bit parsers over strtoul/strtol in the C locale: 0 with *out set, or -1
// when nothing was parsed or the value is outside the 32-bit range (errno
// ERANGE). Trailing characters are allowed; end (when given) points after the
// parsed text.
[[nodiscard]] int StrToULong32(const char* text, uint32_t* out, char** end, int base);
[[nodiscard]] int StrToUInt32(const char* text, unsigned int* out, char** end, int base);
[[nodiscard]] int StrToLong32(const char* text, int32_t* out, char** end, int base);
[[nodiscard]] int StrToInt32(const char* text, int* out, char** end, int base);

// Prints value in hexadecimal ("%lx") for radix 16, else in decimal ("%lu").
// 0 when at least one character was written, 1 when nothing was (size 0 or 1).
int ULongToStr(unsigned long value, char* buffer, size_t size, unsigned radix);
