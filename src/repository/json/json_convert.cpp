// The conversions of a value to a scalar with the caller's default.
#include <cstdint>
#include <limits>

#include "repository/json/json_number.h"
#include "repository/json/json_value.h"

namespace wexajson {

bool Value::AsBool(bool fallback) const {
  int64_t integer = 0;
  if (Integer(&integer)) return integer != 0;
  if (IsBool()) return Node()[1] != 0;
  // NaN compares unequal to zero, so it counts as true.
  if (IsDouble()) return LoadF64(Node() + 1) != 0;
  return fallback;
}

int64_t Value::AsInt64(int64_t fallback) const {
  int64_t integer = 0;
  if (Integer(&integer)) return integer;
  if (IsBool()) return Node()[1] != 0 ? 1 : 0;
  std::string_view text;
  // Texts of the image and literal texts are NUL-terminated.
  if (Text(&text) && WholeTextToInt64(text.data(), text.size(), &integer)) return integer;
  return fallback;
}

int32_t Value::AsInt32(int32_t fallback) const {
  int64_t integer = 0;
  if (Integer(&integer)) {
    if (integer < std::numeric_limits<int32_t>::min() ||
        integer > std::numeric_limits<int32_t>::max()) {
      return fallback;
    }
    return static_cast<int32_t>(integer);
  }
  if (IsBool()) return Node()[1] != 0 ? 1 : 0;
  std::string_view text;
  // A text keeps only its low 32 bits, as stored documents expect.
  if (Text(&text) && WholeTextToInt64(text.data(), text.size(), &integer)) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(integer)));
  }
  return fallback;
}

double Value::AsDouble(double fallback) const {
  int64_t integer = 0;
  if (Integer(&integer)) return static_cast<double>(integer);
  if (IsBool()) return Node()[1] != 0 ? 1.0 : 0.0;
  if (IsDouble()) return LoadF64(Node() + 1);
  std::string_view text;
  double number = 0;
  if (Text(&text) && WholeTextToDouble(text.data(), text.size(), &number)) return number;
  return fallback;
}

std::string Value::AsString(const std::string& fallback) const {
  std::string out;
  int64_t integer = 0;
  std::string_view text;
  if (Integer(&integer)) {
    AppendInt64(out, integer);
  } else if (IsBool()) {
    out = Node()[1] != 0 ? "1" : "0";
  } else if (IsDouble()) {
    AppendFixed(out, LoadF64(Node() + 1));
  } else if (Text(&text)) {
    out.assign(text);
  } else {
    return fallback;
  }
  return out;
}

std::wstring Value::AsWString(const std::wstring& fallback) const {
  std::string_view text;
  if (Text(&text)) return WidenUtf8(text.data()).value_or(fallback);
  if (!IsInt() && !IsBool() && !IsDouble()) return fallback;
  // Digits, a sign, a point and "e": the narrow text widens byte by byte.
  const std::string narrow = AsString(std::string());
  return std::wstring(narrow.begin(), narrow.end());
}

}  // namespace wexajson
