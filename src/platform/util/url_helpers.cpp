#include "platform/util/url_helpers.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/os/os_path.h"
#include "platform/util/numbers.h"
#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"

namespace {

// Work buffer of the joins: a result that would not fit is cut here.
constexpr size_t kJoinSize = kPathSize;

void BackslashesToSlashes(char* text, size_t size) {
  for (size_t i = 0; i < size && text[i] != '\0'; ++i) {
    if (text[i] == '\\') text[i] = '/';
  }
}

// Puts prefix (of prefix_length bytes) in front of path, bounded by the work
// buffer and then by size.
void Prepend(char* path, size_t size, const char* prefix, size_t prefix_length) {
  char joined[kJoinSize];
  SafeStrNCopy(joined, sizeof joined, prefix, prefix_length);
  SafeStrCat(joined, sizeof joined, path);
  SafeStrCopy(path, size, joined);
}

// End of the server root inside text: the first '/' from the third character
// of the host part on; for a share the '/' after the share name.
size_t ServerRootEnd(std::string_view text, bool share) {
  size_t host = 0;
  const size_t colon = text.find(':');
  // A ':' at 0 or 1 is no scheme ("c:" is a drive letter).
  if (colon != std::string_view::npos && colon >= 2) host = colon + 1;
  if (host + 2 > text.size()) return text.size();
  const size_t slash = text.find('/', host + 2);
  if (slash == std::string_view::npos) return text.size();
  if (!share) return slash;
  // A share root keeps the share name, also when nothing follows it.
  const size_t after_share = text.find('/', slash + 1);
  return after_share == std::string_view::npos ? text.size() : after_share;
}

}  // namespace

RemotePathFlags IsRemotePath(const char* path) {
  if (path == nullptr) return {};
  const bool has_scheme = std::strstr(path, "://") != nullptr;
  const bool double_slash = path[0] == '/' && path[1] == '/';
  return {has_scheme || double_slash, double_slash && !has_scheme};
}

void GetServerRoot(char* url, size_t url_size, char* root, size_t root_size) {
  if (url == nullptr || url_size == 0) return;
  BackslashesToSlashes(url, url_size);
  const std::string_view text(url, strnlen(url, url_size));
  const bool share = AsciiStrNICmp(url, "FILE:", 5) == 0 || text.starts_with("//");
  if (root != nullptr) SafeStrNCopy(root, root_size, url, ServerRootEnd(text, share));
  OsAppendSlash(url, url_size);
}

void ResolvePath(char* path, size_t size, const char* base, const char* root) {
  if (path == nullptr || size == 0) return;
  if (path[0] == '\\' && path[1] == '\\') {
    BackslashesToSlashes(path, size);
    return;
  }
  BackslashesToSlashes(path, size);
  if (path[0] == '/' && path[1] == '/') {
    const char* scheme = root != nullptr ? std::strstr(root, "://") : nullptr;
    if (scheme != nullptr) Prepend(path, size, root, static_cast<size_t>(scheme - root) + 1);
    return;
  }
  if (path[0] == '/') {
    if (root != nullptr) Prepend(path, size, root, std::strlen(root));
    return;
  }
  const bool drive = path[0] != '\0' && path[1] == ':' && path[2] == '/';
  if (drive || std::strstr(path, "://") != nullptr) return;
  if (base != nullptr) Prepend(path, size, base, std::strlen(base));
}

uint32_t SplitHostPort(const char* text, char* host, size_t host_size) {
  if (host == nullptr || host_size == 0) return 0;
  host[0] = '\0';
  if (text == nullptr) return 0;
  const std::string_view all(text);
  std::string_view name = all;
  const char* port_text = nullptr;
  if (all.starts_with('[')) {
    const size_t close = all.find(']');
    if (close == std::string_view::npos) return 0;
    name = all.substr(1, close - 1);
    if (close + 1 < all.size()) {
      if (all[close + 1] != ':') return 0;
      port_text = text + close + 2;
    }
  } else if (const size_t colon = all.find(':');
             colon != std::string_view::npos && all.find(':', colon + 1) == std::string_view::npos) {
    name = all.substr(0, colon);
    port_text = text + colon + 1;
  }
  // Without a single ':' (a plain name or a bare IPv6 address) the whole text
  // is the host: callers pass the port separately and still need a name.
  SafeStrNCopy(host, host_size, name.data(), name.size());
  uint32_t port = 0;
  if (port_text == nullptr || StrToULong32(port_text, &port, nullptr, 0) != 0) return 0;
  return port;
}
