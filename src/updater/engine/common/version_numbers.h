#pragma once

#include <cstdint>

// Dotted versions as ordered 64-bit numbers. Each part is a decimal number
// kept to its low 16 bits; missing parts count 0, and a part that is not a
// number ends the reading with the parts before it ("1.2-rc" is "1.2").

// a.b.c.d -> (a << 48) | (b << 32) | (c << 16) | d.
[[nodiscard]] uint64_t ParseVersion4(const char* text);
// a.b.c -> (a << 48) | (b << 32) | c.
[[nodiscard]] uint64_t ParseVersion3(const char* text);
