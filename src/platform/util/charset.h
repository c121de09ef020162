#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Character-set conversions. Narrow ("local") text is always UTF-8, whatever
// the process locale: a service process often runs under the "C" locale,
// where anything but ASCII would otherwise fail. Wide text is the platform's
// 32-bit wchar_t; UTF-16 is little-endian.

// Converts through iconv. Undecodable input is skipped skip_unit bytes at a
// time; incomplete input at the end and a full output stop the conversion,
// keeping what was converted. An empty code means UTF-8. Returns the position
// after the last byte written (the output is not terminated). When complete is
// given it is set to false if anything was skipped or left unconverted.
char* IconvConvert(const char* from_code, const char* to_code, const char* in, size_t in_bytes,
                   char* out, size_t out_bytes, size_t skip_unit, bool* complete = nullptr);

// UTF-16LE to UTF-8 into at most size - 1 bytes, then a NUL; unpaired
// surrogates are skipped. Returns true when every unit was converted whole.
bool Utf16ToLocal(const char16_t* utf16, char* dst, size_t size);

// UTF-8 to UTF-16LE into at most units - 1 units, then a 0 unit; invalid bytes
// are skipped; a null text gives an empty result. Returns true when every byte
// was converted whole.
bool LocalToUtf16(const char* text, char16_t* dst, size_t units);
// The same conversion, returning dst.
char16_t* StrCopyN(const char* text, char16_t* dst, size_t units);

// Length value meaning "up to the NUL".
inline constexpr size_t kStrToNul = static_cast<size_t>(-1);

// UTF-8 text (length kStrToNul means strlen) to a UTF-16LE string; a null text
// gives an empty string. complete (when given) reports skipped input.
std::u16string NarrowToU16String(const char* text, size_t length, bool* complete = nullptr);

// UTF-8 to wchar_t. With dst: at most count - 1 elements and a terminating 0;
// returns the elements written including the terminator, or 0 on invalid or
// cut input (a 0 element then ends what was written). Without dst: the element
// count that valid input needs. Null text: 0.
size_t Utf8ToWide(const char* text, wchar_t* dst, size_t count);

// wchar_t values (their low 31 bits) to the 1-to-6-byte UTF-8 form. Without
// dst or with size 0: bytes needed including the NUL. Otherwise the bytes
// written including the NUL, or 0 (output emptied at the failing character)
// when the next character does not fit. Null input: 0.
size_t Ucs4ToUtf8(const wchar_t* wide, char* dst, size_t size);

// Strict UTF-8 conversions between wchar_t and narrow text. A null dst or a
// size of 0 returns the length a conversion needs (without the NUL). An
// unconvertible sequence gives kStrToNul with dst[0] = 0. When the result
// fills the buffer the last element becomes 0 and size is returned; otherwise
// the converted count is returned.
size_t WideToMultiByte(const wchar_t* wide, char* dst, size_t size);
size_t MultiByteToWide(const char* text, wchar_t* dst, size_t size);
