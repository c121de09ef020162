#pragma once

#include <cstdarg>
#include <cstddef>
#include <cwchar>

// Bounded text functions over caller-owned buffers. Sizes count elements of
// the buffer (bytes or wchar_t) including the terminating NUL; a size of 0
// writes nothing.

// Copies src; a source that does not fit is cut to size - 1 and terminated.
char* SafeStrCopy(char* dst, size_t size, const char* src);
wchar_t* SafeWcsCopy(wchar_t* dst, size_t size, const wchar_t* src);

// Appends src; nothing when dst already fills the buffer, else appends what
// fits and terminates.
char* SafeStrCat(char* dst, size_t size, const char* src);
wchar_t* SafeWcsCat(wchar_t* dst, size_t size, const wchar_t* src);

// Copies min(count, size - 1) characters with strncpy padding, then terminates.
char* SafeStrNCopy(char* dst, size_t size, const char* src, size_t count);
// Appends at most count characters, as far as they fit, then terminates.
char* SafeStrNCat(char* dst, size_t size, const char* src, size_t count);

// Formatted output in the C locale. Returns the formatted length when it fits;
// on truncation or an encoding error the output is cut, terminated, and the
// result is size - 1. Size 0 returns 0.
int SafeSnprintf(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int SafeVsnprintf(char* buffer, size_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));
// The wide twin; narrow %s arguments are read as UTF-8.
int SafeSwprintf(wchar_t* buffer, size_t size, const wchar_t* format, ...);

// Comparisons that fold only 'A'-'Z' to lower case and return the difference
// of the first differing folded elements (0 when equal).
// Bytes compare as signed values, so 0x80-0xFF sort below ASCII.
int AsciiStrICmp(const char* a, const char* b);
int AsciiStrNICmp(const char* a, const char* b, size_t n);
// Bytes compare as unsigned values.
int AsciiStrICmpLower(const char* a, const char* b);
// Elements compare as unsigned 32-bit values.
int AsciiWcsICmp(const wchar_t* a, const wchar_t* b);

// Change ASCII letter case in place, stopping at the NUL or after n bytes.
char* StrUpperN(char* text, size_t n);
char* StrLowerN(char* text, size_t n);

// Replaces every byte equal to from by to, up to the NUL.
void StrReplaceChar(char* text, char from, char to);

// Number of 16-bit units before the terminating 0.
size_t Utf16Len(const char16_t* text);

// Re-entrant tokenizer with strtok_r behaviour; null when no token is left or
// when delimiters or state is null.
char* StrTokenize(char* text, const char* delimiters, char** state);
