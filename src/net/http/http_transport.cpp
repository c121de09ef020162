#include "net/http/http_transport.h"

#include <cstring>

#include "net/http/http_auth.h"
#include "net/http/http_text.h"
#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"
#include "platform/util/update_errors.h"

namespace {

constexpr uint32_t kHttpPort = 80;
constexpr uint32_t kHttpsPort = 443;
// "X-Bypass-Cache" answers are fetched again up to this many rounds in all.
constexpr int kMaxRounds = 10;
// A connection closed before the answer was complete: attempts in all.
constexpr int kMaxResends = 3;

// A request head with the empty line after it, and the NUL of the buffer.
bool FitsRequestBuffer(std::string_view head) { return head.size() + 2 < kHttpRequestBufferSize; }

bool IsProxyUnreachable(UpdError result) {
  return result == kUpdCannotConnect || result == kUpdServerUnreachable;
}

bool IsProxyServerError(UpdError result) {
  return result == kUpdServerError || result == kUpdServiceUnavailable;
}

}  // namespace

// Everything one request needs across the rounds of its send loop.
struct CHttpTransport::SendPlan {
  HttpRequestTexts texts;
  // Where the connection goes: the server, or the proxy.
  std::string endpoint_host;
  uint32_t endpoint_port = 0;
  uint32_t server_port = 0;
  ProxyRoute proxy;
  // TLS through a proxy: a CONNECT tunnel first.
  bool tunnel = false;
  bool skip_head = true;
};

CHttpTransport::CHttpTransport(CTcpProtocol& protocol, bool tls)
    : protocol_(protocol), connection_(protocol), tls_(tls) {
  HostStringInit(&user_agent_, &DefaultResultAllocator);
}

CHttpTransport::~CHttpTransport() { HostStringFree(&user_agent_); }

std::string_view CHttpTransport::user_agent() const { return HostStringView(&user_agent_); }

void CHttpTransport::Abort() {
  ITransport::Abort();
  protocol_.SetAbort(true);
}

void CHttpTransport::Reset() {
  ITransport::ClearAbort();
  protocol_.SetAbort(false);
  HostStringClear(&user_agent_);
  proxy_disabled_ = false;
  protocol_.DropKeptAddresses();
}

void CHttpTransport::CloseConnection() {
  tunnel_target_.clear();
  connection_.Close();
}

UpdError CHttpTransport::Get(const HttpRequestParams& params, const FetchConfig& config,
                             _HTTP_RESPONSE_INFO* response) {
  HttpRequestParams single = params;
  single.skip_head = true;
  single.if_none_match = {};
  single.if_modified_since = {};
  single.range_start = 0;
  single.range_end = 0;
  bool keep_alive = true;
  const UpdError result = Request(single, config, response, &keep_alive);
  // A GET answered with 0 leaves its body on the connection; nobody reads it
  // here, and the next request must not take it for a head.
  if (result == kUpdOk && single.kind == kHttpKindGet && keep_alive) SkipBody(response);
  if (!keep_alive) CloseConnection();
  return result;
}

UpdError CHttpTransport::Request(const HttpRequestParams& params, const FetchConfig& config,
                                 _HTTP_RESPONSE_INFO* response, bool* keep_alive) {
  if (&config != &config_) config_ = config;
  connection_.set_minimum_rate(config_.minimum_rate.value_or(kTransferMinimumRate));
  ProxyRoute proxy;
  if (config_.proxy.enabled && !proxy_disabled_) {
    proxy = {config_.proxy.host, config_.proxy.port, config_.proxy.user, config_.proxy.password};
  }
  const UpdError result = SendRequest(params, proxy, response, keep_alive);
  if (proxy.host.empty() || !config_.proxy.direct_retry) return result;
  if (IsProxyUnreachable(result)) {
    // Later requests of this run skip the proxy at once.
    proxy_disabled_ = true;
  } else if (IsProxyServerError(result)) {
    proxy_disabled_ = false;
  } else {
    return result;
  }
  return SendRequest(params, ProxyRoute{}, response, keep_alive);
}

UpdError CHttpTransport::SendRequest(const HttpRequestParams& params, const ProxyRoute& proxy,
                                     _HTTP_RESPONSE_INFO* response, bool* keep_alive) {
  if (params.host.size() > kHttpMaxHostText) return kUpdInvalidArgument;
  const HttpServerAddress server = ParseServerHost(params.host, tls_ ? kHttpsPort : kHttpPort);
  server_name_ = server.name;

  SendPlan plan;
  plan.server_port = server.port;
  plan.proxy = proxy;
  via_proxy_ = !proxy.host.empty();
  if (via_proxy_) {
    plan.endpoint_host = std::string(proxy.host);
    plan.endpoint_port = proxy.port;
    plan.tunnel = tls_;
  } else {
    plan.endpoint_host = server.name;
    plan.endpoint_port = server.port;
  }
  plan.skip_head = params.kind != kHttpKindGet || params.skip_head;

  EnsureUserAgent(config_.events.get());
  HttpRequestContext context;
  context.absolute_target = via_proxy_ && !tls_;
  context.user_agent = user_agent();
  context.keep_alive = *keep_alive;
  context.server_user = config_.server_user;
  context.server_password = config_.server_password;
  context.cdn = config_.spread_control;
  const UpdError formatted = FormatRequestTexts(params, context, &plan.texts);
  if (formatted != kUpdOk) return formatted;
  // Nothing is cut: a head that does not fit is refused before it leaves.
  if (!FitsRequestBuffer(plan.texts.request) ||
      (!plan.skip_head && !FitsRequestBuffer(plan.texts.head))) {
    return kUpdInvalidArgument;
  }

  UpdError result = RunSendLoop(plan, response, keep_alive);
  if (result == kUpdAccessDenied) {
    // Answered with the request itself, never its HEAD twin.
    result = AnswerServerChallenge(*this, {.request = &plan.texts.request,
                                           .body = plan.texts.body,
                                           .response = response,
                                           .host = plan.endpoint_host,
                                           .port = plan.endpoint_port,
                                           .proxy = &plan.proxy,
                                           .server_port = plan.server_port,
                                           .keep_alive = keep_alive,
                                           .method = plan.texts.method,
                                           .for_proxy = false,
                                           .user = context.server_user,
                                           .password = context.server_password});
  }
  if (IsAborted()) {
    CloseConnection();
    return kUpdStopped;
  }
  return result;
}

UpdError CHttpTransport::RunSendLoop(SendPlan& plan, _HTTP_RESPONSE_INFO* response,
                                      bool* keep_alive) {
  bool head_done = plan.skip_head;
  int rounds = kMaxRounds;
  int resends = kMaxResends;
  for (;;) {
    const UpdError result = SendRound(plan, &head_done, response, keep_alive);
    --rounds;
    const bool bypass = response->bypass_cache != 0;
    // A peer too slow for the minimum rate would be as slow again.
    if (result == kUpdConnectionClosed && connection_.IsTooSlow()) return result;
    if (result == kUpdConnectionClosed && !IsAborted() && resends > 0) {
      --resends;
      CloseConnection();
      if ((bypass && rounds > 0) || resends > 0) continue;
      return result;
    }
    if (!bypass || rounds <= 0) return result;
    // The next round must not read this answer's body as its head.
    if (*keep_alive && plan.texts.method == HttpMethod::kGet) {
      SkipBody(response);
    } else if (!*keep_alive) {
      CloseConnection();
    }
  }
}

UpdError CHttpTransport::SendRound(SendPlan& plan, bool* head_done, _HTTP_RESPONSE_INFO* response,
                                    bool* keep_alive) {
  response->Clear();
  if (plan.tunnel) {
    const UpdError opened = ProxyConnect(plan.server_port, plan.proxy, response);
    if (opened != kUpdOk) return opened;
  }
  if (!*head_done) {
    const UpdError head =
        SendWithAuth(&plan.texts.head, {}, response, plan.endpoint_host, plan.endpoint_port,
                     plan.proxy, keep_alive, HttpMethod::kHead);
    // A server that does not allow HEAD still gets the GET.
    if (head != kUpdOk && head != kUpdMethodNotAllowed) return head;
    *head_done = true;
  }
  return SendWithAuth(&plan.texts.request, plan.texts.body, response, plan.endpoint_host,
                      plan.endpoint_port, plan.proxy, keep_alive, plan.texts.method);
}

UpdError CHttpTransport::SendWithAuth(std::string* request, std::string_view body,
                                       _HTTP_RESPONSE_INFO* response, std::string_view host,
                                       uint32_t port, const ProxyRoute& proxy, bool* keep_alive,
                                       HttpMethod method) {
  const bool reuse =
      port == connected_port_ && EqualsNoCase(host, connected_host_) && connection_.IsConnected();
  if (!reuse) {
    const UpdError opened = OpenEndpoint(host, port);
    if (opened != kUpdOk) return opened;
  }
  const UpdError result = ReadResponse(*request, body, response, keep_alive, method);
  if (result != kUpdProxyAuthRequired) return result;
  return AnswerProxyChallenges(*this, {.request = request,
                                       .body = body,
                                       .response = response,
                                       .host = host,
                                       .port = port,
                                       .proxy = &proxy,
                                       .keep_alive = keep_alive,
                                       .method = method,
                                       .for_proxy = true,
                                       .user = proxy.user,
                                       .password = proxy.password});
}

UpdError CHttpTransport::OpenEndpoint(std::string_view host, uint32_t port) {
  protocol_.DropKeptAddresses();
  CloseConnection();
  connected_host_ = std::string(host);
  connected_port_ = port;
  return connection_.Connect(connected_host_.c_str(), port, server_name_.c_str());
}

UpdError CHttpTransport::ProxyConnect(uint32_t server_port, const ProxyRoute& proxy,
                                       _HTTP_RESPONSE_INFO* response) {
  // The exchange with the proxy is never encrypted, whichever way it ends.
  struct PlainMode {
    CTcpProtocol& protocol;
    explicit PlainMode(CTcpProtocol& p) : protocol(p) { protocol.SetPlainMode(true); }
    ~PlainMode() { protocol.SetPlainMode(false); }
  } plain(protocol_);

  // An open tunnel serves only the server it was opened to.
  const std::string target = server_name_ + ":" + std::to_string(server_port);
  if (proxy.port == connected_port_ && EqualsNoCase(proxy.host, connected_host_) &&
      connection_.IsConnected() && tunnel_target_ == target) {
    return kUpdOk;
  }
  protocol_.DropKeptAddresses();
  CloseConnection();
  std::string text = FormatConnectText(server_name_, server_port);
  bool keep_alive = true;
  const UpdError result = SendWithAuth(&text, {}, response, proxy.host, proxy.port, proxy,
                                        &keep_alive, HttpMethod::kConnect);
  if (result == kUpdOk && response->no_body != 0) {
    tunnel_target_ = target;
    return kUpdOk;
  }
  // Only a 2xx opens the tunnel; a redirect without Location is no tunnel
  // (and no redirect of the download either).
  if (result != kUpdOk && result != kUpdUnsupportedScheme) return result;
  CloseConnection();
  return kUpdSourceUnreadable;
}
