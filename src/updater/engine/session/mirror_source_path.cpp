#include "updater/engine/session/mirror_source_path.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Both separators count: a "..\" must not become a parent step anywhere the
// path is later normalised.
bool HasDotSegment(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    start = end + 1;
  }
  return false;
}

// The URL's text after its scheme, drive colon or share slashes, with the
// drive letter kept in front; nothing for a URL of no known form.
std::optional<std::string> LocalPart(std::string_view url) {
  const size_t colon = url.find(':');
  if (colon == std::string_view::npos) {
    if (url.size() < 2 || !IsSeparator(url[0]) || url[1] != url[0]) return std::nullopt;
    return std::string(url.substr(2));
  }
  if (colon == 1 && url.size() > 2 && IsSeparator(url[2])) {
    return std::string(1, url[0]) + std::string(url.substr(2));
  }
  // "scheme://": the text three characters after the colon.
  if (url.size() < colon + 3) return std::nullopt;
  return std::string(url.substr(colon + 3));
}

// ':' in the first segment (a host's port) becomes '_'; the rest is a path
// whose colons are kept.
void UnderscoreHostColons(std::string& part) {
  const size_t host_end = std::min(part.find_first_of("/\\"), part.size());
  for (size_t i = 0; i < host_end; ++i) {
    if (part[i] == ':') part[i] = '_';
  }
}

}  // namespace

bool MakeMirrorSourcePath(const char* folder, const char* url, const char* extra, char* out,
                          size_t out_size) {
  if (out == nullptr || out_size == 0) return false;
  out[0] = '\0';
  if (folder == nullptr || url == nullptr) return false;
  std::optional<std::string> part = LocalPart(url);
  const std::string_view suffix = extra != nullptr ? extra : "";
  if (!part || HasDotSegment(*part) || HasDotSegment(suffix)) return false;
  UnderscoreHostColons(*part);
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += *part;
  if (!suffix.empty()) {
    path += '/';
    path += suffix;
  }
  if (path.size() >= out_size) return false;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}
