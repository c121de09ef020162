#pragma once

#include <cstddef>
#include <cstdint>

// Digests written as hexadecimal text with a terminating NUL. Each answers
// false, writing nothing, when the output is too small or the digest fails.

// SHA-1 of a file read in 4096-byte blocks: 40 upper-case digits (out_size
// at least 41). False when the file cannot be opened or read; true without
// writing when out is null.
[[nodiscard]] bool FileSha1Hex(const char* path, char* out, size_t out_size);

// Lower-case digits of a buffer: SHA-512/256 and SHA-256 need out_size 65,
// MD5 33 (the hash functions of HTTP Digest authentication).
[[nodiscard]] bool BufferSha512_256Hex(const void* data, size_t length, char* out, size_t out_size);
[[nodiscard]] bool BufferSha256Hex(const void* data, size_t length, char* out, size_t out_size);
[[nodiscard]] bool BufferMd5Hex(const void* data, size_t length, char* out, size_t out_size);
