#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest resolved Location a download follows.
inline constexpr size_t kRedirectLocationSize = 1024;

// The URL a "Location" text leads to from the URL scheme_prefix + host +
// path: an absolute URL stays, "/x" is taken on the same server, "//host/x"
// with the same scheme, anything else relative to path ('/' ensured at its
// end). Cut to kRedirectLocationSize - 1 characters.
[[nodiscard]] std::string ResolveRedirectLocation(std::string_view scheme_prefix,
                                                  std::string_view host, std::string_view path,
                                                  std::string_view location);
