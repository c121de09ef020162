#pragma once

#include <cstdint>
#include <memory>

#include "verify/certhttp/http_request.h"
#include "verify/certhttp/http_response.h"
#include "verify/certhttp/http_result.h"
#include "verify/certhttp/http_session.h"
#include "verify/certhttp/http_transport.h"

namespace http {

// A server that redirects in a loop must not keep the client busy forever.
inline constexpr uint32_t kMaxRedirects = 10;
// "X-Bypass-Cache" answers accepted before the request is given up.
inline constexpr uint32_t kMaxBypassRepeats = 9;
// Bodies of refusals and repeats are read away only up to this size; beyond
// it the connection is dropped instead of being kept for the next request.
inline constexpr uint64_t kMaxDrainBytes = 64 * 1024;

inline constexpr uint32_t kNoAttemptLimit = ~uint32_t{0};

// Opens a GET or POST and hands back a session at the start of the body.
// timeout_seconds bounds every wait and the whole transfer, body included.
[[nodiscard]] Result HttpSessionOpen(uint32_t method, const CHTTPRequest* request,
                                     const CHTTPCredentials* credentials,
                                     const CHTTPContent* content, CHTTPSession** session,
                                     const char* extra_headers, uint32_t timeout_seconds,
                                     CHTTPErrorInfo* info);
[[nodiscard]] Result HttpPerformRequest(uint32_t method, const CHTTPRequest* request,
                                        const CHTTPCredentials* credentials,
                                        const CHTTPContent* content, CHTTPSession** session,
                                        const char* extra_headers, uint32_t timeout_seconds,
                                        CHTTPErrorInfo* info);

// The connection and redirect loop; on success the transport and the
// response (headers read, the body left to the caller) are handed out.
[[nodiscard]] Result HttpSendWithRedirects(uint32_t method, const CHTTPRequest* request,
                                           const CHTTPCredentials* credentials,
                                           const CHTTPContent* content,
                                           std::unique_ptr<CTransportSSL>* transport,
                                           CHTTPResponse** response, const char* extra_headers,
                                           uint32_t timeout_seconds, CHTTPErrorInfo* info);

[[nodiscard]] Result HttpSendViaProxy(CTransportSSL* transport, const CHTTPCredentials* credentials,
                                      CHTTPRequestHeaders* headers, CHTTPResponse* response,
                                      uint32_t attempt_limit, bool fresh_connection,
                                      CHTTPErrorInfo* info);

// Sends "CONNECT host:port" to the proxy (answering a 407 with Basic).
[[nodiscard]] Result HttpOpenTunnel(CTransportSSL* transport, const CHTTPCredentials* credentials,
                                    CHTTPRequestHeaders* headers);

// One request with one Basic answer to 401 and to 407 and the
// "X-Bypass-Cache" repeats; on success the body is left to the caller.
[[nodiscard]] Result HttpSendRequestWithAuth(CTransportSSL* transport,
                                             const CHTTPCredentials* credentials,
                                             CHTTPRequestHeaders* headers, CHTTPResponse* response,
                                             uint32_t attempt_limit, CHTTPErrorInfo* info);

}  // namespace http
