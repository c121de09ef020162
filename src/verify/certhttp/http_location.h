#pragma once

#include <cstdint>
#include <string_view>

#include "verify/certhttp/http_response.h"

namespace http {

// Where a redirect points.
struct RedirectTarget {
  uint32_t scheme = 0;  // kSchemeHttp or kSchemeHttps
  CHTTPBuffer host;
  uint32_t port = 0;
  CHTTPBuffer path;
};

// Reads a Location value ("\" taken as "/"): 0, kBadLocation (empty, another
// scheme, empty host), kMalformed (a port that is no number) or kOutOfMemory.
[[nodiscard]] uint32_t HttpParseLocation(std::string_view location, RedirectTarget* target);

}  // namespace http
