#pragma once

#include <cstdint>
#include <string>

// JSON literals of the package condition's variables; a null pointer gives
// "null".

// The text in quotation marks, escaped so that it parses back unchanged and
// as one string, whatever quotation marks or backslashes it holds.
std::string JsonQuoteString(const char* text);
std::string JsonInt64Text(const int64_t* value);
// "%f" in the C locale: fixed notation, six decimals.
std::string JsonDoubleText(const double* value);
std::string JsonBoolText(const bool* value);
