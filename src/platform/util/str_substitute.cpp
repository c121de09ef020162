#include "platform/util/str_substitute.h"

#include <cstring>
#include <string_view>

namespace {

// Names and values longer than this are cut, as the lists come from fixed
// 256-byte fields.
constexpr size_t kMaxTokenPart = 255;

// Replaces every occurrence of name after the inserted text of the previous
// one; false when a value had to be cut.
bool ReplaceAll(char* buffer, size_t size, std::string_view name, std::string_view value) {
  bool whole = true;
  size_t from = 0;
  for (;;) {
    const size_t length = strnlen(buffer, size);
    if (length >= size) return false;  // not terminated within its buffer
    const std::string_view text(buffer, length);
    const size_t at = text.find(name, from);
    if (at == std::string_view::npos) return whole;
    const size_t room = size - 1 - (length - name.size());
    const size_t copy = value.size() < room ? value.size() : room;
    if (copy < value.size()) whole = false;
    const size_t tail = length - at - name.size();
    std::memmove(buffer + at + copy, buffer + at + name.size(), tail + 1);
    std::memcpy(buffer + at, value.data(), copy);
    from = at + copy;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Value of count hexadecimal digits at text, or -1.
long HexDigits(const char* text, size_t count) {
  long value = 0;
  for (size_t i = 0; i < count; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

int StrReplaceTokens(char* buffer, size_t size, const char* list) {
  if (list == nullptr || size == 0) return 0;
  bool whole = true;
  std::string_view rest(list);
  while (!rest.empty()) {
    const size_t bar = rest.find('|');
    std::string_view item = rest.substr(0, bar);
    rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) break;
    const std::string_view name = item.substr(0, equals).substr(0, kMaxTokenPart);
    const std::string_view value = item.substr(equals + 1).substr(0, kMaxTokenPart);
    // An empty name occurs everywhere; there is nothing to replace.
    if (name.empty()) continue;
    if (!ReplaceAll(buffer, size, name, value)) whole = false;
  }
  return whole ? 1 : 0;
}

size_t PercentDecodeToWide(const char* text, size_t length, wchar_t* dst, size_t count) {
  if (count == 0) return 0;
  if (length == static_cast<size_t>(-1)) length = std::strlen(text);
  size_t written = 0;
  size_t i = 0;
  while (i < length && written + 1 < count) {
    const size_t left = length - i;
    if (text[i] == '%') {
      if (left >= 6 && (text[i + 1] == 'u' || text[i + 1] == 'U')) {
        const long value = HexDigits(text + i + 2, 4);
        if (value >= 0) {
          dst[written++] = static_cast<wchar_t>(value);
          i += 6;
          continue;
        }
      }
      if (left >= 3) {
        const long value = HexDigits(text + i + 1, 2);
        if (value >= 0) {
          dst[written++] = static_cast<wchar_t>(value);
          i += 3;
          continue;
        }
      }
    }
    dst[written++] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    ++i;
  }
  dst[written] = 0;
  return written;
}
