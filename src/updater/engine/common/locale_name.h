#pragma once

#include <cstddef>

// The repository's form of a locale name: the first '-' becomes '_' and the
// letters after it, within the first `length` characters, are upper-cased
// ("en-us" -> "en_US"). Text without '-' stays as it is.
void NormalizeLocaleName(char* text, size_t length);
