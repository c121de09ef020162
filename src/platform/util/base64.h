#pragma once

#include <cstdint>

// Base64 of RFC 4648 with '=' padding and no line breaks.

// Encodes length bytes as NUL-terminated text. Returns 1 and sets *written to
// the characters plus the NUL. Returns 0 when written is null, with *written = 0
// when data is null, or with *written = the size needed when output is null or
// smaller than ((length + 2) / 3) * 4 + 2.
[[nodiscard]] int Base64Encode(const void* data, uint64_t length, char* output,
                               uint64_t output_size, uint64_t* written);

// Length value that makes Base64Decode read up to the text's NUL.
inline constexpr uint64_t kBase64ToNul = ~uint64_t{0};

// Decodes text, skipping tab, LF, CR and space. Returns 1 when no bad character
// was met, else 0 (the rest still decodes). *written = bytes produced, or the
// size needed (with result 0) when the output is too small.
[[nodiscard]] int Base64Decode(const char* text, uint64_t length, void* output,
                               uint64_t output_size, uint64_t* written);
