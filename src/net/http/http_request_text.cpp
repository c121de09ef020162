#include "net/http/http_request_text.h"

#include <cstdarg>
#include <cstdio>
#include <optional>

#include "platform/util/update_errors.h"

namespace {

constexpr uint32_t kMaxPort = 65535;

void AppendFormat(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void AppendFormat(std::string* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length > 0) {
    const size_t at = out->size();
    out->resize(at + static_cast<size_t>(length) + 1);
    (void)std::vsnprintf(out->data() + at, static_cast<size_t>(length) + 1, format, args);
    out->resize(at + static_cast<size_t>(length));
  }
  va_end(args);
}

// Texts go into the request as %s arguments.
std::string Text(std::string_view view) { return std::string(view); }

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos || text.find('\0') != text.npos;
}

std::optional<uint32_t> ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  uint32_t port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<uint32_t>(c - '0');
  }
  if (port == 0 || port > kMaxPort) return std::nullopt;
  return port;
}

// The form of the download page: only spaces and slashes are escaped, which
// is what the page decodes.
std::string LoginFormBody(const HttpRequestParams& params, const HttpRequestContext& context) {
  std::string form;
  AppendFormat(&form, "file=%s%s&dir=%s&username=%s&password=%s&B1=Download",
               Text(params.path).c_str(), Text(params.file).c_str(), Text(params.path).c_str(),
               Text(context.server_user).c_str(), Text(context.server_password).c_str());
  std::string escaped;
  escaped.reserve(form.size());
  for (const char c : form) {
    if (c == ' ') {
      escaped += "%20";
    } else if (c == '/') {
      escaped += "%2F";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

bool TextsAreSafe(const HttpRequestParams& params, const HttpRequestContext& context) {
  const std::string_view texts[] = {params.host,
                                    params.path,
                                    params.file,
                                    params.if_none_match,
                                    params.if_modified_since,
                                    params.domain,
                                    context.user_agent,
                                    context.server_user};
  for (const std::string_view text : texts) {
    if (HasLineBreak(text)) return false;
  }
  return params.host.size() <= kHttpMaxHostText &&
         params.if_none_match.size() <= kHttpMaxValidatorText &&
         params.if_modified_since.size() <= kHttpMaxValidatorText &&
         params.domain.size() <= kHttpMaxDomainText;
}

// The words every request of FormatRequestTexts shares: the origin before the
// path (for a proxy, which wants an absolute target), the path, the file,
// the agent, the host and the connection mode.
struct RequestWords {
  RequestWords(const HttpRequestParams& params, const HttpRequestContext& context)
      : origin(context.absolute_target ? "http://" + Text(params.host) : ""),
        path(Text(params.path)),
        file(Text(params.file)),
        user_agent(Text(context.user_agent)),
        host(Text(params.host)),
        connection(context.keep_alive ? "Keep-Alive" : "close") {}

  std::string origin;
  std::string path;
  std::string file;
  std::string user_agent;
  std::string host;
  const char* connection;
};

void FormatGet(const HttpRequestParams& params, const HttpRequestContext& context,
               HttpRequestTexts* texts) {
  const RequestWords words(params, context);
  const char* spread = params.spread ? "yes" : "no";
  const std::string domain = Text(params.domain);
  const char* cdn = context.cdn ? "yes" : "no";
  AppendFormat(&texts->request,
               "GET %s%s%s HTTP/1.1\r\nAccept: */*\r\nUser-Agent: %s\r\nHost: %s\r\n"
               "Accept-Encoding: gzip, deflate\r\nConnection: %s\r\n"
               "Wexa-Spread-Control: %s; domain=%s; cdn=%s\r\n",
               words.origin.c_str(), words.path.c_str(), words.file.c_str(),
               words.user_agent.c_str(), words.host.c_str(), words.connection, spread,
               domain.c_str(), cdn);
  AppendFormat(&texts->head,
               "HEAD %s%s%s HTTP/1.1\r\nAccept: */*\r\nUser-Agent: %s\r\nHost: %s\r\n"
               "Accept-Encoding: gzip, deflate\r\nConnection: %s\r\nPragma: no-cache\r\n"
               "Cache-Control: no-cache, no-store\r\n"
               "Wexa-Spread-Control: %s; domain=%s; cdn=%s\r\n",
               words.origin.c_str(), words.path.c_str(), words.file.c_str(),
               words.user_agent.c_str(), words.host.c_str(), words.connection, spread,
               domain.c_str(), cdn);
  for (std::string* text : {&texts->request, &texts->head}) {
    if (!context.server_user.empty()) {
      AppendFormat(text, "X-WEXA-UpdateID: %s\r\n", Text(context.server_user).c_str());
    }
    if (!params.if_modified_since.empty()) {
      AppendFormat(text, "If-Modified-Since: %s\r\n", Text(params.if_modified_since).c_str());
    }
    if (!params.if_none_match.empty()) {
      AppendFormat(text, "If-None-Match: %s\r\n", Text(params.if_none_match).c_str());
    }
  }
  // A range starting at 0 is the whole body: never sent.
  if (params.range_start == 0) return;
  const auto start = static_cast<unsigned long long>(params.range_start);
  if (params.range_end != 0) {
    AppendFormat(&texts->request, "Range: bytes=%llu-%llu\r\n", start,
                 static_cast<unsigned long long>(params.range_end));
  } else {
    AppendFormat(&texts->request, "Range: bytes=%llu-\r\n", start);
  }
}

void FormatPost(const HttpRequestParams& params, const HttpRequestContext& context,
                HttpRequestTexts* texts) {
  const RequestWords words(params, context);
  texts->method = HttpMethod::kPost;
  if (params.kind == kHttpKindLoginPost) {
    texts->body = LoginFormBody(params, context);
    AppendFormat(&texts->request,
                 "POST %s/cgi-bin/download.cgi?%s%s HTTP/1.1\r\nAccept: */*\r\n"
                 "Content-Type: application/x-www-form-urlencoded\r\nUser-Agent: %s\r\n"
                 "Host: %s\r\nContent-Length: %zu\r\nConnection: %s\r\nPragma: no-cache\r\n"
                 "Cache-Control: no-cache\r\n",
                 words.origin.c_str(), words.path.c_str(), words.file.c_str(),
                 words.user_agent.c_str(), words.host.c_str(), texts->body.size(),
                 words.connection);
    return;
  }
  texts->body = Text(params.body);
  const char* type = params.kind == kHttpKindFormPost ? "application/x-www-form-urlencoded"
                                                      : "application/octet-stream";
  AppendFormat(&texts->request,
               "POST %s%s%s HTTP/1.1\r\nAccept: */*\r\nContent-Type: %s\r\nUser-Agent: %s\r\n"
               "Host: %s\r\nContent-Length: %zu\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
               "Connection: %s\r\n",
               words.origin.c_str(), words.path.c_str(), words.file.c_str(), type,
               words.user_agent.c_str(), words.host.c_str(), texts->body.size(), words.connection);
}

}  // namespace

UpdError FormatRequestTexts(const HttpRequestParams& params, const HttpRequestContext& context,
                             HttpRequestTexts* texts) {
  *texts = HttpRequestTexts{};
  if (params.kind > kHttpKindOctetPost) return kUpdBadRequestKind;
  if (!TextsAreSafe(params, context)) return kUpdInvalidArgument;
  if (params.kind == kHttpKindGet) {
    FormatGet(params, context, texts);
  } else {
    FormatPost(params, context, texts);
  }
  return kUpdOk;
}

std::string FormatConnectText(std::string_view server_name, uint32_t port) {
  std::string text;
  const std::string name = Text(server_name);
  AppendFormat(&text, "CONNECT %s:%u HTTP/1.1\r\nHost: %s:%u\r\nProxyCache: %s\r\n", name.c_str(),
               port, name.c_str(), port, "false");
  return text;
}

HttpServerAddress ParseServerHost(std::string_view host, uint32_t default_port) {
  HttpServerAddress address{std::string(host), default_port};
  if (host.find('[') != std::string_view::npos) {
    const size_t close = host.find(']');
    if (close == std::string_view::npos || host.substr(close, 2) != "]:") return address;
    if (const std::optional<uint32_t> port = ParsePort(host.substr(close + 2))) {
      address.name = std::string(host.substr(0, close + 1));
      address.port = *port;
    }
    return address;
  }
  const size_t colon = host.find(':');
  if (colon == std::string_view::npos) return address;
  if (const std::optional<uint32_t> port = ParsePort(host.substr(colon + 1))) {
    address.name = std::string(host.substr(0, colon));
    address.port = *port;
  }
  return address;
}
