#include "repository/json/json_number.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "platform/util/c_locale.h"

namespace wexajson {
namespace {

// "%f" of the largest double: sign, 309 digits, point, six decimals.
constexpr size_t kNumberTextSize = 328;
constexpr int kDefaultPrecision = 6;

void AppendChars(std::string& out, double value, std::chars_format format) {
  char text[kNumberTextSize];
  const auto result = std::to_chars(text, text + sizeof text, value, format, kDefaultPrecision);
  out.append(text, result.ptr);
}

}  // namespace

bool ReadDouble(const char* text, double* value, size_t* consumed) {
  char* end = nullptr;
  errno = 0;
  const double parsed = strtod_l(text, &end, GetCLocale());
  if (end == text || errno == ERANGE) return false;
  *value = parsed;
  *consumed = static_cast<size_t>(end - text);
  return true;
}

bool WholeTextToInt64(const char* text, size_t length, int64_t* value) {
  if (length == 0) return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = strtoll_l(text, &end, 10, GetCLocale());
  if (end != text + length || errno == ERANGE) return false;
  *value = parsed;
  return true;
}

bool WholeTextToDouble(const char* text, size_t length, double* value) {
  if (length == 0) return false;
  size_t consumed = 0;
  double parsed = 0;
  if (!ReadDouble(text, &parsed, &consumed) || consumed != length) return false;
  *value = parsed;
  return true;
}

void AppendFixed(std::string& out, double value) {
  AppendChars(out, value, std::chars_format::fixed);
}

void AppendGeneral(std::string& out, double value) {
  AppendChars(out, value, std::chars_format::general);
}

void AppendInt64(std::string& out, int64_t value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

}  // namespace wexajson
