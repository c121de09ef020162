#pragma once

#include <cstdint>

namespace http {

// Result codes of the small HTTP client (0 success).
enum Result : uint32_t {
  kOk = 0,
  kOutOfMemory = 20000,
  kHostNotResolved = 20002,
  kNoConnection = 20003,
  kProxyAuthRequired = 20004,  // 407 with no Basic answer, or refused again
  kBadRequest = 20005,         // missing argument, invalid method or wrong use
  kWriteFailed = 20006,
  kMalformed = 20007,
  kProxyNotResolved = 20008,
  kNoProxyConnection = 20009,
  kSocketError = 20010,
  kNotFound = 20011,  // below 200, 300, 303, 306, 309-399, 404, 410
  kRedirect = 20012,  // 201, 301, 302, 307, 308; also too many redirects
  kUseProxy = 20013,
  kClientError = 20014,
  kUnauthorized = 20015,  // 401 with no Basic answer, or refused again
  kForbidden = 20016,
  kServerError = 20017,
  kNoResponse = 20018,
  kCutShort = 20019,
  kEnd = 20020,
  kNoData = 20021,
  kBadLocation = 20022,
  kMethodNotAllowed = 20023,
  kBypassLoop = 20024,
  kBadState = 20026,
  kTlsUnsupported = 20027,
  kBadGateway = 20032,
  kUnavailable = 20033,
  kNotModified = 20034,
  kNetworkAuthRequired = 20035,
};

// Marks an absent length (Content-Length, chunk size, the send failure).
inline constexpr uint64_t kNoLength = ~uint64_t{0};

}  // namespace http
