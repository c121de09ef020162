#include "updater/engine/session/redirect_location.h"

#include <algorithm>
#include <cstring>

#include "platform/util/url_helpers.h"

std::string ResolveRedirectLocation(std::string_view scheme_prefix, std::string_view host,
                                    std::string_view path, std::string_view location) {
  const std::string root = std::string(scheme_prefix) + std::string(host);
  std::string base = root + std::string(path);
  if (base.back() != '/') base.push_back('/');
  char resolved[kRedirectLocationSize] = {};
  const size_t n = std::min(location.size(), sizeof resolved - 1);
  if (n != 0) std::memcpy(resolved, location.data(), n);
  ResolvePath(resolved, sizeof resolved, base.c_str(), root.c_str());
  return resolved;
}
