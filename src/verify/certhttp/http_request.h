#pragma once

#include <cstdint>

#include "verify/certhttp/http_response.h"
#include "verify/certhttp/http_result.h"
#include "verify/certhttp/http_transport.h"

namespace http {

enum Method : uint32_t { kMethodGet = 0, kMethodPost = 1 };
enum Scheme : uint32_t { kSchemeHttp = 0, kSchemeHttps = 1, kSchemeNone = 2 };

// The caller's description of a request.
struct CHTTPRequest {
  const char* host = nullptr;
  uint32_t port = 0;
  const char* path = nullptr;        // may carry its own "?" and query
  const char* proxy_host = nullptr;  // null or empty: no proxy
  uint32_t proxy_port = 0;
  uint8_t tls = 0;  // 1: "https"
  uint8_t try_each_address = 0;
  uint8_t direct_fallback = 0;  // go direct when the proxy cannot be resolved or reached
};

// Plain texts or nulls; they must stay valid during HttpSessionOpen.
struct CHTTPCredentials {
  const char* user_name = nullptr;
  const char* password = nullptr;
  const char* proxy_user_name = nullptr;
  const char* proxy_password = nullptr;
};

struct CHTTPContent {
  uint64_t content_length = 0;
  const void* body = nullptr;
  const char* query = nullptr;
  const char* content_type = nullptr;
};

// What HttpWriteRequest writes. Texts are borrowed except the two
// authorization values, which the client builds and wipes when it drops them.
struct CHTTPRequestHeaders {
  CHTTPRequestHeaders() = default;
  ~CHTTPRequestHeaders();
  CHTTPRequestHeaders(const CHTTPRequestHeaders&) = delete;
  CHTTPRequestHeaders& operator=(const CHTTPRequestHeaders&) = delete;
  // Copies every field, the authorization values included.
  [[nodiscard]] bool CopyFrom(const CHTTPRequestHeaders& other);

  const char* method = nullptr;
  uint32_t scheme = kSchemeHttp;
  const char* absolute_host = nullptr;  // set: the target is written in absolute form
  uint32_t port = 0;
  const char* path = nullptr;
  const char* query = nullptr;
  const char* host_value = nullptr;
  const char* content_type = nullptr;
  uint64_t content_length = kNoLength;
  const char* transfer_encoding = nullptr;
  const char* connection = nullptr;
  const char* proxy_connection = nullptr;
  CHTTPBuffer authorization;
  CHTTPBuffer proxy_authorization;
  const char* extra = nullptr;  // written as it stands, with its own line ends
  // The body sent after the headers (not part of the header text).
  const void* body = nullptr;
  uint64_t body_length = 0;
};

// Writes the request text through the transport's buffer, reconnecting first
// when needed; with flush the buffer is sent at once. 0 or kWriteFailed.
[[nodiscard]] Result HttpWriteRequest(CTransport* transport, const CHTTPRequestHeaders* headers,
                                      bool flush);

// Sets the (proxy) authorization value "Basic " + base64 of "name:password"
// when a Basic challenge is among the challenges.
[[nodiscard]] Result HttpBuildBasicAuth(const char* user_name, const char* password, bool proxy,
                                        const CHTTPBufferArray& challenges,
                                        CHTTPRequestHeaders* headers);

// The request path: "/" put in front when missing, and the query with every
// space and "/" percent-encoded.
[[nodiscard]] bool HttpBuildPath(const char* path, const char* query, CHTTPBuffer* out);

}  // namespace http
