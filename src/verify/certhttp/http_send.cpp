#include "verify/certhttp/http_send.h"

#include <cstring>
#include <new>

#include "verify/certhttp/http_location.h"
#include "verify/certhttp/secure_string.h"

namespace http {
namespace {

constexpr size_t kMaxHostLength = 255;
constexpr uint64_t kDrainPiece = 1024;

bool IsSetText(const char* text) { return text != nullptr && *text != '\0'; }

bool IsMethod(const char* method, const char* name) {
  return method != nullptr && std::strcmp(method, name) == 0;
}

// Reads a body away so that the connection can carry the next request; a
// body that fails or is too large to be worth it costs the connection.
Result DrainBody(CTransport* transport, const CHTTPResponse* response) {
  CHTTPBodyState body;
  uint8_t piece[kDrainPiece];
  uint64_t total = 0;
  for (;;) {
    uint64_t received = 0;
    const Result code =
        HttpReadBody(transport, response, &body, piece, sizeof(piece), &received, 1);
    if (code == kEnd) return kOk;
    if (code != kOk) {
      transport->Close();
      return code;
    }
    total += received;
    if (total > kMaxDrainBytes) {
      transport->Close();
      return kOk;
    }
  }
}

// Ends an exchange that is not handed to the caller.
void FinishExchange(CTransport* transport, const CHTTPResponse* response) {
  if (DrainBody(transport, response) == kOk && !HttpKeepConnection(response)) transport->Close();
}

uint32_t SendOnce(CTransportSSL* transport, const CHTTPRequestHeaders* headers) {
  if (HttpWriteRequest(transport, headers, false) != kOk) return kWriteFailed;
  if (headers->body != nullptr && headers->body_length != 0 &&
      transport->BufferedWrite(headers->body, headers->body_length) == kNoLength) {
    return kWriteFailed;
  }
  return transport->FlushWrites() ? kOk : kWriteFailed;
}

Result AnswerBasic(CTransport* transport, const CHTTPCredentials* credentials, bool proxy,
                   CHTTPRequestHeaders* headers, const CHTTPResponse* response) {
  FinishExchange(transport, response);
  const char* user = nullptr;
  const char* password = nullptr;
  if (credentials != nullptr) {
    user = proxy ? credentials->proxy_user_name : credentials->user_name;
    password = proxy ? credentials->proxy_password : credentials->password;
  }
  return HttpBuildBasicAuth(user, password, proxy,
                            proxy ? response->proxy_challenges : response->server_challenges,
                            headers);
}

}  // namespace

Result HttpSendRequestWithAuth(CTransportSSL* transport, const CHTTPCredentials* credentials,
                               CHTTPRequestHeaders* headers, CHTTPResponse* response,
                               uint32_t attempt_limit, CHTTPErrorInfo* info) {
  if (transport == nullptr || response == nullptr || headers == nullptr) return kBadRequest;
  const bool get = IsMethod(headers->method, "GET");
  if (get && headers->body != nullptr && headers->body_length != 0) return kBadRequest;
  if (IsMethod(headers->method, "POST") && headers->query != nullptr) return kBadRequest;
  if (get) headers->content_length = kNoLength;
  if (attempt_limit == 0) return kOk;
  uint32_t sends = 0;
  uint32_t bypasses = 0;
  bool server_answered = false;
  bool proxy_answered = false;
  Result code = kOk;
  for (;;) {
    if (attempt_limit != kNoAttemptLimit && sends++ >= attempt_limit) return code;
    if (SendOnce(transport, headers) != kOk) return kWriteFailed;
    code = HttpReadResponseHeaders(transport, response, 1, nullptr);
    if (code != kOk) return code;
    code = HttpStatusToError(response->status);
    HttpGetErrorInfo(info, code, response);
    if (code == kUnauthorized || code == kProxyAuthRequired) {
      const bool proxy = code == kProxyAuthRequired;
      bool& answered = proxy ? proxy_answered : server_answered;
      if (answered) {
        FinishExchange(transport, response);
        return code;
      }
      answered = true;
      const Result answer = AnswerBasic(transport, credentials, proxy, headers, response);
      if (answer != kOk) return answer;
      continue;
    }
    if (code != kOk) {
      FinishExchange(transport, response);
      return code;
    }
    if (response->bypass == 0) return kOk;
    if (++bypasses > kMaxBypassRepeats) {
      FinishExchange(transport, response);
      return kBypassLoop;
    }
    const Result drained = DrainBody(transport, response);
    if (drained != kOk) return drained;
    if (!HttpKeepConnection(response)) transport->Close();
  }
}

Result HttpOpenTunnel(CTransportSSL* transport, const CHTTPCredentials* credentials,
                      CHTTPRequestHeaders* headers) {
  if (transport == nullptr || headers == nullptr) return kBadRequest;
  CHTTPRequestHeaders tunnel;
  tunnel.method = "CONNECT";
  tunnel.scheme = kSchemeNone;
  tunnel.absolute_host = headers->host_value;
  tunnel.port = headers->port;
  tunnel.host_value = headers->host_value;
  tunnel.content_length = 0;
  tunnel.proxy_connection = headers->proxy_connection;
  if (tunnel.proxy_authorization.CopyFrom(headers->proxy_authorization) == 0) return kOutOfMemory;
  CHTTPResponse response;
  const uint32_t mode = transport->TlsMode();
  transport->SetTlsMode(0);
  const Result code =
      HttpSendRequestWithAuth(transport, credentials, &tunnel, &response, kNoAttemptLimit, nullptr);
  transport->SetTlsMode(mode);
  if (headers->proxy_authorization.CopyFrom(tunnel.proxy_authorization) == 0) return kOutOfMemory;
  return code;
}

Result HttpSendViaProxy(CTransportSSL* transport, const CHTTPCredentials* credentials,
                        CHTTPRequestHeaders* headers, CHTTPResponse* response,
                        uint32_t attempt_limit, bool fresh_connection, CHTTPErrorInfo* info) {
  if (transport == nullptr || headers == nullptr) return kBadRequest;
  if (headers->scheme == kSchemeHttp) {
    transport->SetTlsMode(0);
    return HttpSendRequestWithAuth(transport, credentials, headers, response, attempt_limit, info);
  }
  if (transport->HasProxy() && fresh_connection) {
    const Result code = HttpOpenTunnel(transport, credentials, headers);
    if (code != kOk) return code;
  }
  transport->SetTlsMode(1);
  return kTlsUnsupported;
}

namespace {

// The state of the redirect loop: where the request goes now.
struct Target {
  CHTTPBuffer host;
  uint32_t port = 0;
  uint32_t scheme = kSchemeHttp;
  CHTTPBuffer path;
};

Result ConnectAttempt(CTransportSSL* transport, const CHTTPRequest* request, const Target& target,
                      uint32_t timeout, bool* via_proxy, bool* fresh) {
  *via_proxy = IsSetText(request->proxy_host);
  *fresh = true;
  if (!*via_proxy) return transport->Connect(target.host.Text(), target.port, 0, timeout);
  if (transport->IsConnected() && transport->HasProxy()) {
    *fresh = false;
    return kOk;
  }
  Result code = transport->ConnectViaProxy(target.host.Text(), request->proxy_port, 0, timeout,
                                           request->proxy_host);
  if (code == kHostNotResolved) code = kProxyNotResolved;
  if (code == kNoConnection) code = kNoProxyConnection;
  if ((code == kProxyNotResolved || code == kNoProxyConnection) && request->direct_fallback != 0) {
    *via_proxy = false;
    code = transport->Connect(target.host.Text(), target.port, 0, timeout);
  }
  return code;
}

void FillHeaders(uint32_t method, const CHTTPContent* content, const Target& target, bool via_proxy,
                 const char* extra, CHTTPRequestHeaders* h) {
  const bool post = method == kMethodPost;
  h->method = post ? "POST" : "GET";
  h->scheme = target.scheme;
  h->absolute_host = via_proxy ? target.host.Text() : nullptr;
  h->port = target.port;
  h->path = target.path.Text();
  h->query = nullptr;
  h->host_value = target.host.Text();
  h->content_type = content->content_type;
  h->content_length = post ? content->content_length : kNoLength;
  h->transfer_encoding = nullptr;
  h->connection = "Keep-Alive";
  h->proxy_connection = via_proxy ? "Keep-Alive" : nullptr;
  h->extra = extra;
  h->body = post ? content->body : nullptr;
  h->body_length = post ? content->content_length : 0;
}

Result FollowRedirect(const CHTTPResponse* response, Target* target) {
  if (response->location.Length() == 0) return kBadRequest;
  RedirectTarget next;
  const Result code = HttpParseLocation(response->location.Text(), &next);
  if (code != kOk) return code;
  target->host.MoveFrom(next.host);
  target->path.MoveFrom(next.path);
  target->port = next.port;
  target->scheme = next.scheme;
  return kOk;
}

void DropValue(CHTTPBuffer* value) {
  if (value->Data() != nullptr) WipeBytes(value->Data(), static_cast<size_t>(value->Length()));
  value->Clear();
}

}  // namespace

Result HttpSendWithRedirects(uint32_t method, const CHTTPRequest* request,
                             const CHTTPCredentials* credentials, const CHTTPContent* content,
                             std::unique_ptr<CTransportSSL>* transport_out,
                             CHTTPResponse** response_out, const char* extra_headers,
                             uint32_t timeout_seconds, CHTTPErrorInfo* info) {
  if (request == nullptr || content == nullptr || transport_out == nullptr ||
      response_out == nullptr) {
    return kBadRequest;
  }
  if (method == kMethodPost && content->query != nullptr) return kBadRequest;
  std::unique_ptr<CTransportSSL> transport(new (std::nothrow) CTransportSSL);
  std::unique_ptr<CHTTPResponse, void (*)(CHTTPResponse*)> response(HttpResponseCreate(),
                                                                    HttpResponseDestroy);
  if (transport == nullptr || response == nullptr) return kOutOfMemory;
  transport->SetDeadline(uint64_t{timeout_seconds} * 1000);
  Target target;
  target.port = request->port;
  target.scheme = request->tls != 0 ? kSchemeHttps : kSchemeHttp;
  if (!target.host.SetText(request->host != nullptr ? request->host : "") ||
      !HttpBuildPath(request->path, content->query, &target.path)) {
    return kOutOfMemory;
  }
  CHTTPRequestHeaders headers;
  bool redirected = false;
  for (uint32_t redirects = 0;; ++redirects) {
    HttpResponseClear(response.get());
    if (method > kMethodPost || target.host.IsEmptyText() || target.path.IsEmptyText()) {
      return redirected ? kMalformed : kBadRequest;
    }
    bool via_proxy = false;
    bool fresh = false;
    Result code =
        ConnectAttempt(transport.get(), request, target, timeout_seconds, &via_proxy, &fresh);
    if (code != kOk) return code;
    FillHeaders(method, content, target, via_proxy, extra_headers, &headers);
    code = HttpSendViaProxy(transport.get(), credentials, &headers, response.get(), kNoAttemptLimit,
                            fresh, info);
    if (code == kOk) {
      *transport_out = std::move(transport);
      *response_out = response.release();
      return kOk;
    }
    if (code != kRedirect || redirects >= kMaxRedirects) return code;
    code = FollowRedirect(response.get(), &target);
    if (code != kOk) return code;
    DropValue(&headers.authorization);
    if (!via_proxy) transport->Close();
    redirected = true;
  }
}

Result HttpPerformRequest(uint32_t method, const CHTTPRequest* request,
                          const CHTTPCredentials* credentials, const CHTTPContent* content,
                          CHTTPSession** session, const char* extra_headers,
                          uint32_t timeout_seconds, CHTTPErrorInfo* info) {
  if (session == nullptr) return kBadRequest;
  *session = nullptr;
  const CHTTPContent empty;
  if (content == nullptr) content = &empty;
  // Uploads whose body the caller would send later are not offered.
  if (method == kMethodPost && content->content_length != 0 &&
      (content->body == nullptr || content->content_length == kNoLength)) {
    return kBadRequest;
  }
  std::unique_ptr<CHTTPSession> opened(new (std::nothrow) CHTTPSession);
  if (opened == nullptr) return kOutOfMemory;
  CHTTPResponse* response = nullptr;
  const Result code =
      HttpSendWithRedirects(method, request, credentials, content, &opened->transport, &response,
                            extra_headers, timeout_seconds, info);
  if (code != kOk) return code;
  opened->response.reset(response);
  opened->state = kStateBody;
  opened->body.Reset();
  *session = opened.release();
  return kOk;
}

Result HttpSessionOpen(uint32_t method, const CHTTPRequest* request,
                       const CHTTPCredentials* credentials, const CHTTPContent* content,
                       CHTTPSession** session, const char* extra_headers, uint32_t timeout_seconds,
                       CHTTPErrorInfo* info) {
  if (session != nullptr) *session = nullptr;
  if (method > kMethodPost || request == nullptr || session == nullptr) return kBadRequest;
  const CHTTPContent empty;
  if (content == nullptr) content = &empty;
  if (request->try_each_address == 0) {
    return HttpPerformRequest(method, request, credentials, content, session, extra_headers,
                              timeout_seconds, info);
  }
  if (request->host == nullptr || std::strlen(request->host) > kMaxHostLength) {
    return kHostNotResolved;
  }
  char name[kMaxHostLength + 1];
  std::strcpy(name, request->host);
  OS_ADDR* list = OsResolveAddress(name, static_cast<int>(request->port), kOsResolveStream);
  if (list == nullptr) return kHostNotResolved;
  Result code = kNoConnection;
  for (const OS_ADDR* entry = list; entry != nullptr; entry = OsAddrListNext(entry)) {
    char numeric[64];
    if (OsAddrToString(entry, numeric, sizeof(numeric), nullptr) == nullptr) continue;
    CHTTPRequest copy = *request;
    copy.host = numeric;
    code = HttpPerformRequest(method, &copy, credentials, content, session, extra_headers,
                              timeout_seconds, info);
    if (code == kOk) break;
  }
  OsAddrListFree(list);
  return code;
}

}  // namespace http
