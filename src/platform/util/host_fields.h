#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

// Text of a fixed character field of a host record, read up to its NUL or
// its end: the host may fill a field to the last byte without a NUL, and a
// read must never run into the next field.
template <size_t N>
[[nodiscard]] std::string_view HostField(const char (&field)[N]) {
  return {field, strnlen(field, N)};
}

// The same as a NUL-terminated copy, for calls that take C strings.
template <size_t N>
[[nodiscard]] std::string HostFieldString(const char (&field)[N]) {
  return std::string(HostField(field));
}
