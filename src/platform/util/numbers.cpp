#include "platform/util/numbers.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/util/strings.h"

namespace {

// Parses with end checks shared by the unsigned parsers; false when nothing
// was parsed or the value overflowed unsigned long.
bool ParseUnsigned(const char* text, unsigned long* value, char** end, int base) {
  char* stop = nullptr;
  errno = 0;
  *value = strtoul_l(text, &stop, base, GetCLocale());
  if (end != nullptr) *end = stop;
  if (stop == text) return false;
  return !(*value == ULONG_MAX && errno == ERANGE);
}

bool ParseSigned(const char* text, long* value, char** end, int base) {
  char* stop = nullptr;
  errno = 0;
  *value = strtol_l(text, &stop, base, GetCLocale());
  if (end != nullptr) *end = stop;
  if (stop == text) return false;
  return errno != ERANGE;
}

}  // namespace

int StrToULong32(const char* text, uint32_t* out, char** end, int base) {
  unsigned long value = 0;
  if (!ParseUnsigned(text, &value, end, base)) return -1;
  if (value > 0xFFFFFFFFUL) {
    errno = ERANGE;
    return -1;
  }
  *out = static_cast<uint32_t>(value);
  return 0;
}

int StrToUInt32(const char* text, unsigned int* out, char** end, int base) {
  uint32_t value = 0;
  if (StrToULong32(text, &value, end, base) != 0) return -1;
  *out = value;
  return 0;
}

int StrToLong32(const char* text, int32_t* out, char** end, int base) {
  long value = 0;
  if (!ParseSigned(text, &value, end, base)) return -1;
  if (value < INT32_MIN || value > INT32_MAX) {
    errno = ERANGE;
    return -1;
  }
  *out = static_cast<int32_t>(value);
  return 0;
}

int StrToInt32(const char* text, int* out, char** end, int base) {
  int32_t value = 0;
  if (StrToLong32(text, &value, end, base) != 0) return -1;
  *out = value;
  return 0;
}

int ULongToStr(unsigned long value, char* buffer, size_t size, unsigned radix) {
  const int n = radix == 16 ? SafeSnprintf(buffer, size, "%lx", value)
                            : SafeSnprintf(buffer, size, "%lu", value);
  return n > 0 ? 0 : 1;
}
