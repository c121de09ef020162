#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "updater.h"

// Path arithmetic of the update engine. Paths use '/' and folders end in '/';
// fixed buffers hold kPathSize bytes and every write into them is bounded.

inline constexpr size_t kPathSize = UPD_PATH_SIZE;

// Drops one trailing '/', then everything from the last '/' on; a path
// without '/' comes back unchanged ("/a" gives "").
std::string PathParent(std::string path);

// Joins with exactly one '/' between two non-empty parts. An empty part
// leaves the other; the appended text is cut to the buffer.
char* PathAppend(char* buffer, size_t size, const char* part);
std::string PathJoinString(std::string_view first, std::string_view second);

// text with the search-pattern characters ('*', '?', '[', ']', '\\')
// escaped, so that the OS search reads a folder name literally: a data folder
// named "upd[1]" must not select the files of "upd1".
std::string EscapeSearchPattern(std::string_view text);
