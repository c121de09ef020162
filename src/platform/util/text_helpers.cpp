#include "platform/util/text_helpers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/util/strings.h"

namespace {

bool IsDelimiter(const char* delimiters, char c) {
  return c != '\0' && std::strchr(delimiters, c) != nullptr;
}

// Skips leading delimiters; a skipped quote opens or closes a quoted run, and
// a delimiter inside quotes already belongs to the token.
char* SkipLeading(char* p, const char* delimiters, char quote, QuotedTokenState* state) {
  while (IsDelimiter(delimiters, *p) && state->inQuotes == 0) {
    if (*p == quote) state->inQuotes ^= 1;
    ++p;
  }
  return p;
}

void EndToken(char* p, QuotedTokenState* state) {
  *p = '\0';
  state->next = p + 1;
}

}  // namespace

char* StrTokenizeQuoted(char* text, const char* delimiters, char quote, QuotedTokenState* state) {
  if (delimiters == nullptr || state == nullptr) return nullptr;
  char* p = text;
  if (text != nullptr) {
    state->inQuotes = 0;
  } else {
    p = state->next;
    if (p == nullptr) return nullptr;
  }
  p = SkipLeading(p, delimiters, quote, state);
  if (*p == '\0') {
    state->next = p;
    return nullptr;
  }
  char* token = p;
  for (; *p != '\0'; ++p) {
    const bool delimiter = IsDelimiter(delimiters, *p);
    if (*p == quote) {
      state->inQuotes ^= 1;
      if (delimiter) {
        EndToken(p, state);
        return token;
      }
      continue;
    }
    if (delimiter && state->inQuotes == 0) {
      EndToken(p, state);
      return token;
    }
  }
  state->next = p;
  return token;
}

const char* StrRStr(const char* text, const char* needle) {
  if (text == nullptr || needle == nullptr) return nullptr;
  const size_t text_length = std::strlen(text);
  const size_t needle_length = std::strlen(needle);
  if (needle_length > text_length) return nullptr;
  for (size_t at = text_length - needle_length + 1; at-- > 0;) {
    if (std::memcmp(text + at, needle, needle_length) == 0) return text + at;
  }
  return nullptr;
}

bool StrEndsWith(const char* text, const char* suffix) {
  if (text == nullptr || suffix == nullptr) return false;
  const size_t text_length = std::strlen(text);
  const size_t suffix_length = std::strlen(suffix);
  return suffix_length <= text_length &&
         std::memcmp(text + text_length - suffix_length, suffix, suffix_length) == 0;
}

bool StrEndsWithNoCase(const char* text, const char* suffix) {
  if (text == nullptr || suffix == nullptr) return false;
  const size_t text_length = std::strlen(text);
  const size_t suffix_length = std::strlen(suffix);
  return suffix_length <= text_length &&
         AsciiStrICmp(text + text_length - suffix_length, suffix) == 0;
}

bool StrEndsWithEx(const std::string& text, const std::string& suffix, bool case_sensitive) {
  return case_sensitive ? StrEndsWith(text.c_str(), suffix.c_str())
                        : StrEndsWithNoCase(text.c_str(), suffix.c_str());
}

bool ParseDecimal(const char* text, uint32_t* value) {
  if (text == nullptr || value == nullptr || *text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text, &end, 10);
  // Values past 32 bits are refused rather than cut to their low bits.
  if (errno == ERANGE || *end != '\0' || parsed > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}
