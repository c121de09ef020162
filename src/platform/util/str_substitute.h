#pragma once

#include <cstddef>
#include <cstdint>

// Replaces tokens in buffer (of size bytes) from a list "name=value|name=value";
// the list ends at its end or at an item without '='. Names and values are cut
// to 255 characters. A value that contains its own name is inserted once per
// occurrence: the search continues after the inserted text. Returns 1 when
// every replacement was whole, 0 when one was cut or the list is null.
int StrReplaceTokens(char* buffer, size_t size, const char* list);

// Decodes "%XX" and "%uXXXX" (either case) into wide characters; a '%' that
// does not start a complete sequence is kept. length SIZE_MAX means strlen.
// Writes at most count - 1 characters and a 0; returns the characters written.
size_t PercentDecodeToWide(const char* text, size_t length, wchar_t* dst, size_t count);
