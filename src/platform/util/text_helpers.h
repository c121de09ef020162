#pragma once

#include <cstdint>
#include <string>

// Text helpers of the update engine: a tokenizer that honours quotes, a
// reverse search, suffix tests and a strict decimal parser.

struct QuotedTokenState {
  char* next = nullptr;
  uint32_t inQuotes = 0;
};

// Like StrTokenize, but delimiters between quote characters do not split. A
// quote that is itself a delimiter ends the token it closes; any other quote
// stays part of the token. Writes NULs into the text; null when no token is
// left or when delimiters or state is null. A null text continues the scan.
char* StrTokenizeQuoted(char* text, const char* delimiters, char quote, QuotedTokenState* state);

// Last occurrence of needle (occurrences may overlap); an empty needle gives
// the end of text; null arguments give null.
const char* StrRStr(const char* text, const char* needle);

// Suffix tests; null arguments give false.
bool StrEndsWith(const char* text, const char* suffix);
// Folds only 'A'-'Z'.
bool StrEndsWithNoCase(const char* text, const char* suffix);
bool StrEndsWithEx(const std::string& text, const std::string& suffix, bool case_sensitive);

// True only when the whole text is an unsigned decimal number that fits 32
// bits: a leading digit, no sign, no other character.
[[nodiscard]] bool ParseDecimal(const char* text, uint32_t* value);
