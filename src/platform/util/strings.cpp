#include "platform/util/strings.h"

#include <locale.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/util/c_locale.h"

namespace {

template <typename Char>
size_t Length(const Char* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

template <typename Char>
Char* BoundedCopy(Char* dst, size_t size, const Char* src) {
  if (size == 0) return dst;
  size_t n = 0;
  while (n + 1 < size && src[n] != 0) {
    dst[n] = src[n];
    ++n;
  }
  dst[n] = 0;
  return dst;
}

template <typename Char>
Char* BoundedCat(Char* dst, size_t size, const Char* src) {
  const size_t used = Length(dst);
  if (used + 1 >= size) return dst;
  BoundedCopy(dst + used, size - used, src);
  return dst;
}

// Runs a formatting call with the C locale as the thread's locale, so numbers
// print the same whatever locale the process has set.
class ScopedCLocale {
 public:
  ScopedCLocale() : previous_(uselocale(GetCLocale())) {}
  ~ScopedCLocale() { uselocale(previous_); }
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;

 private:
  locale_t previous_;
};

// The C locale with UTF-8 as its character type, for wide formatting of
// narrow UTF-8 arguments; the plain C locale when none is installed.
locale_t Utf8CLocale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", duplocale(GetCLocale()));
    return l != nullptr ? l : GetCLocale();
  }();
  return locale;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

char* SafeStrCopy(char* dst, size_t size, const char* src) { return BoundedCopy(dst, size, src); }

wchar_t* SafeWcsCopy(wchar_t* dst, size_t size, const wchar_t* src) {
  return BoundedCopy(dst, size, src);
}

char* SafeStrCat(char* dst, size_t size, const char* src) { return BoundedCat(dst, size, src); }

wchar_t* SafeWcsCat(wchar_t* dst, size_t size, const wchar_t* src) {
  return BoundedCat(dst, size, src);
}

char* SafeStrNCopy(char* dst, size_t size, const char* src, size_t count) {
  if (size == 0) return dst;
  const size_t len = count < size - 1 ? count : size - 1;
  std::strncpy(dst, src, len);
  dst[len] = 0;
  return dst;
}

char* SafeStrNCat(char* dst, size_t size, const char* src, size_t count) {
  const size_t used = std::strlen(dst);
  if (used + 1 >= size || count == 0) return dst;
  const size_t room = size - used - 1;
  size_t n = 0;
  while (n < count && n < room && src[n] != 0) {
    dst[used + n] = src[n];
    ++n;
  }
  dst[used + n] = 0;
  return dst;
}

int SafeVsnprintf(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  int n = 0;
  {
    ScopedCLocale c_locale;
    n = std::vsnprintf(buffer, size, format, args);
  }
  if (n >= 0 && static_cast<size_t>(n) < size) return n;
  buffer[size - 1] = 0;
  return static_cast<int>(size - 1);
}

int SafeSnprintf(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = SafeVsnprintf(buffer, size, format, args);
  va_end(args);
  return n;
}

int SafeSwprintf(wchar_t* buffer, size_t size, const wchar_t* format, ...) {
  if (size == 0) return 0;
  va_list args;
  va_start(args, format);
  const locale_t previous = uselocale(Utf8CLocale());
  const int n = std::vswprintf(buffer, size, format, args);
  uselocale(previous);
  va_end(args);
  if (n >= 0 && static_cast<size_t>(n) < size) return n;
  buffer[size - 1] = 0;
  return static_cast<int>(size - 1);
}

int AsciiStrNICmp(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<signed char>(Lower(a[i]));
    const auto cb = static_cast<signed char>(Lower(b[i]));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
  return 0;
}

int AsciiStrICmp(const char* a, const char* b) { return AsciiStrNICmp(a, b, SIZE_MAX); }

int AsciiStrICmpLower(const char* a, const char* b) {
  for (size_t i = 0;; ++i) {
    const auto ca = static_cast<unsigned char>(Lower(a[i]));
    const auto cb = static_cast<unsigned char>(Lower(b[i]));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
}

int AsciiWcsICmp(const wchar_t* a, const wchar_t* b) {
  auto fold = [](wchar_t c) {
    const auto u = static_cast<uint32_t>(c);
    return (u >= 'A' && u <= 'Z') ? u - 'A' + 'a' : u;
  };
  for (size_t i = 0;; ++i) {
    const uint32_t ca = fold(a[i]);
    const uint32_t cb = fold(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

char* StrUpperN(char* text, size_t n) {
  for (size_t i = 0; i < n && text[i] != 0; ++i) {
    if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  }
  return text;
}

char* StrLowerN(char* text, size_t n) {
  for (size_t i = 0; i < n && text[i] != 0; ++i) text[i] = Lower(text[i]);
  return text;
}

void StrReplaceChar(char* text, char from, char to) {
  for (; *text != 0; ++text) {
    if (*text == from) *text = to;
  }
}

size_t Utf16Len(const char16_t* text) { return Length(text); }

char* StrTokenize(char* text, const char* delimiters, char** state) {
  if (state == nullptr || delimiters == nullptr) return nullptr;
  char* p = text != nullptr ? text : *state;
  if (p == nullptr) return nullptr;
  p += std::strspn(p, delimiters);
  if (*p == 0) {
    *state = p;
    return nullptr;
  }
  char* token = p;
  p += std::strcspn(p, delimiters);
  if (*p != 0) *p++ = 0;
  *state = p;
  return token;
}
