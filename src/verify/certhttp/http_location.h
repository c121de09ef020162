#pragma once

#include <cstdint>
#include <string_view>

#include "verify/certhttp/http_response.h"
#include "verify/certhttp/http_result.h"

namespace http {

// Where a redirect points.
struct RedirectTarget {
  uint32_t scheme = 0;  // kSchemeHttp or kSchemeHttps
  CHTTPBuffer host;
  uint32_t port = 0;
  CHTTPBuffer path;
};

// Reads a Location value ("\" taken as "/") through the HTTP/1.1 syntax both
// clients share: 0, kBadLocation (empty, not an absolute URL, a scheme other
// than "http" and "https", no host, user information, white space or a
// control character), kMalformed (a port that is not 0 to 65535) or
// kOutOfMemory.
[[nodiscard]] Result HttpParseLocation(std::string_view location, RedirectTarget* target);

}  // namespace http
