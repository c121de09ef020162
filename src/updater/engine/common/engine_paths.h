#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "platform/os/os_path.h"
#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"

// Path helpers of the engine; the platform layer already holds their logic.

// Equal ignoring ASCII letter case; '/' and '\' stay different characters.
[[nodiscard]] inline bool PathEqualsNoCase(const char* a, const char* b) {
  return AsciiStrICmp(a, b) == 0;
}

// text with '/' appended when it is non-empty and does not end in '/'.
[[nodiscard]] inline std::string PathWithSlash(std::string text) {
  if (!text.empty() && text.back() != '/') text.push_back('/');
  return text;
}

// The same in a buffer of size bytes, when the '/' fits.
inline void AppendSlash(char* text, size_t size) { OsAppendSlash(text, size); }

// One trailing '/' dropped, then the text cut at its last '/' ("/a/b/" -> "/a").
[[nodiscard]] inline std::string StripLastPathPart(std::string text) {
  return PathParent(std::move(text));
}
