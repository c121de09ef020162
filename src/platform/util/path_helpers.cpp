#include "platform/util/path_helpers.h"

#include <cstring>

#include "platform/util/strings.h"

std::string PathParent(std::string path) {
  if (!path.empty() && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  path.resize(slash);
  return path;
}

char* PathAppend(char* buffer, size_t size, const char* part) {
  if (buffer == nullptr || part == nullptr || *part == '\0' || size == 0) return buffer;
  const size_t length = strnlen(buffer, size);
  if (length > 0) {
    const bool first_has = buffer[length - 1] == '/';
    const bool second_has = part[0] == '/';
    if (first_has && second_has) ++part;
    if (!first_has && !second_has) SafeStrCat(buffer, size, "/");
  }
  return SafeStrCat(buffer, size, part);
}

std::string PathJoinString(std::string_view first, std::string_view second) {
  if (first.empty()) return std::string(second);
  if (second.empty()) return std::string(first);
  std::string joined(first);
  const bool first_has = first.back() == '/';
  const bool second_has = second.front() == '/';
  if (first_has && second_has) second.remove_prefix(1);
  if (!first_has && !second_has) joined.push_back('/');
  joined.append(second);
  return joined;
}

std::string EscapeSearchPattern(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') escaped.push_back('\\');
    escaped.push_back(c);
  }
  return escaped;
}
