#include "verify/certhttp/http_request.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/util/base64.h"
#include "verify/certhttp/secure_string.h"

namespace http {
namespace {

bool IsSetText(const char* text) { return text != nullptr && *text != '\0'; }

bool EqualsFolded(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
    const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// Appends texts to one buffer and remembers a failure.
class TextBuilder {
 public:
  explicit TextBuilder(CBuffer* out) : out_(out) {}
  TextBuilder& Add(std::string_view text) {
    if (ok_ && !text.empty()) ok_ = out_->Append(text.data(), text.size()) != CBuffer::kFailed;
    return *this;
  }
  TextBuilder& AddNumber(uint64_t number) {
    char digits[24];
    const int n =
        std::snprintf(digits, sizeof(digits), "%llu", static_cast<unsigned long long>(number));
    return Add(std::string_view(digits, static_cast<size_t>(n)));
  }
  TextBuilder& Header(const char* name, const char* value) {
    if (!IsSetText(value)) return *this;
    return Add(name).Add(value).Add("\r\n");
  }
  bool ok() const { return ok_; }

 private:
  CBuffer* out_;
  bool ok_ = true;
};

const char* SchemeText(uint32_t scheme) {
  if (scheme == kSchemeHttp) return "http://";
  if (scheme == kSchemeHttps) return "https://";
  return "";
}

// Authorization values are sent only when they look like "scheme value".
const char* AuthValue(const CHTTPBuffer& value) {
  const char* text = value.Text();
  return std::strchr(text, ' ') != nullptr ? text : nullptr;
}

void BuildText(const CHTTPRequestHeaders* h, TextBuilder* t) {
  t->Add(h->method).Add(" ");
  if (h->absolute_host != nullptr) {
    t->Add(SchemeText(h->scheme)).Add(h->absolute_host).Add(":").AddNumber(h->port);
  }
  if (h->path != nullptr) t->Add(h->path);
  if (h->query != nullptr) t->Add("?").Add(h->query);
  t->Add(" HTTP/1.1\r\n");
  t->Add("Host: ").Add(h->host_value).Add(":").AddNumber(h->port).Add("\r\n");
  t->Header("Content-Type: ", h->content_type);
  if (h->content_length != kNoLength) {
    t->Add("Content-Length: ").AddNumber(h->content_length).Add("\r\n");
  }
  t->Header("Transfer-Encoding: ", h->transfer_encoding);
  t->Header("Connection: ", h->connection);
  t->Header("Proxy-Connection: ", h->proxy_connection);
  t->Header("Authorization: ", AuthValue(h->authorization));
  t->Header("Proxy-Authorization: ", AuthValue(h->proxy_authorization));
  if (h->extra != nullptr) t->Add(h->extra);
  t->Add("\r\n");
}

bool HasBasicChallenge(const CHTTPBufferArray& challenges) {
  for (const CHTTPBuffer& challenge : challenges) {
    const char* text = challenge.Text();
    if (std::strlen(text) < 5) continue;
    char head[6] = {};
    std::memcpy(head, text, 5);
    if (EqualsFolded(head, "basic")) return true;
  }
  return false;
}

// Wipes a buffer of secrets when it goes away.
class WipedBuffer : public CBuffer {
 public:
  ~WipedBuffer() override {
    if (Data() != nullptr) WipeBytes(Data(), static_cast<size_t>(Length()));
  }
};

}  // namespace

CHTTPRequestHeaders::~CHTTPRequestHeaders() {
  if (authorization.Data() != nullptr) {
    WipeBytes(authorization.Data(), static_cast<size_t>(authorization.Length()));
  }
  if (proxy_authorization.Data() != nullptr) {
    WipeBytes(proxy_authorization.Data(), static_cast<size_t>(proxy_authorization.Length()));
  }
}

bool CHTTPRequestHeaders::CopyFrom(const CHTTPRequestHeaders& other) {
  method = other.method;
  scheme = other.scheme;
  absolute_host = other.absolute_host;
  port = other.port;
  path = other.path;
  query = other.query;
  host_value = other.host_value;
  content_type = other.content_type;
  content_length = other.content_length;
  transfer_encoding = other.transfer_encoding;
  connection = other.connection;
  proxy_connection = other.proxy_connection;
  extra = other.extra;
  body = other.body;
  body_length = other.body_length;
  return authorization.CopyFrom(other.authorization) != 0 &&
         proxy_authorization.CopyFrom(other.proxy_authorization) != 0;
}

Result HttpWriteRequest(CTransport* transport, const CHTTPRequestHeaders* headers, bool flush) {
  if (transport == nullptr || headers == nullptr) return kWriteFailed;
  if (!IsSetText(headers->method) || !IsSetText(headers->host_value)) return kWriteFailed;
  if (!IsSetText(headers->path) && !EqualsFolded(headers->method, "CONNECT")) return kWriteFailed;
  if (transport->Reconnect() != kOk) return kWriteFailed;
  WipedBuffer text;
  TextBuilder builder(&text);
  BuildText(headers, &builder);
  if (!builder.ok()) return kWriteFailed;
  if (transport->BufferedWrite(text.Data(), text.Length()) == kNoLength) return kWriteFailed;
  if (flush && !transport->FlushWrites()) return kWriteFailed;
  return kOk;
}

Result HttpBuildBasicAuth(const char* user_name, const char* password, bool proxy,
                          const CHTTPBufferArray& challenges, CHTTPRequestHeaders* headers) {
  const Result refused = proxy ? kProxyAuthRequired : kUnauthorized;
  if (headers == nullptr || !HasBasicChallenge(challenges)) return refused;
  WipedBuffer plain;
  const size_t user_length = user_name != nullptr ? std::strlen(user_name) : 0;
  const size_t password_length = password != nullptr ? std::strlen(password) : 0;
  // Room for the whole pair at once, so no growth leaves a copy behind.
  if (plain.Reserve(user_length + password_length + 1) == nullptr) return kOutOfMemory;
  TextBuilder pair(&plain);
  pair.Add(user_name != nullptr ? user_name : "").Add(":").Add(password != nullptr ? password : "");
  if (!pair.ok()) return kOutOfMemory;
  uint64_t needed = 0;
  (void)Base64Encode(plain.Length() == 0 ? "" : static_cast<const void*>(plain.Data()),
                     plain.Length(), nullptr, 0, &needed);
  WipedBuffer value;
  constexpr std::string_view kPrefix = "Basic ";
  uint8_t* out = value.Reserve(kPrefix.size() + needed);
  if (out == nullptr) return kOutOfMemory;
  std::memcpy(out, kPrefix.data(), kPrefix.size());
  uint64_t written = 0;
  if (Base64Encode(plain.Data(), plain.Length(), reinterpret_cast<char*>(out + kPrefix.size()),
                   needed, &written) != 1) {
    return refused;
  }
  CHTTPBuffer& target = proxy ? headers->proxy_authorization : headers->authorization;
  if (target.Data() != nullptr) WipeBytes(target.Data(), static_cast<size_t>(target.Length()));
  if (!target.SetText(
          std::string_view(reinterpret_cast<const char*>(out), kPrefix.size() + written - 1))) {
    return kOutOfMemory;
  }
  // The reserved bytes were never committed; wipe them directly.
  WipeBytes(out, static_cast<size_t>(kPrefix.size() + needed));
  return kOk;
}

bool HttpBuildPath(const char* path, const char* query, CHTTPBuffer* out) {
  out->Clear();
  TextBuilder t(out);
  if (path == nullptr || path[0] != '/') t.Add("/");
  if (path != nullptr) t.Add(path);
  if (query != nullptr) {
    t.Add("?");
    for (const char* c = query; *c != '\0'; ++c) {
      if (*c == ' ') {
        t.Add("%20");
      } else if (*c == '/') {
        t.Add("%2F");
      } else {
        t.Add(std::string_view(c, 1));
      }
    }
  }
  t.Add(std::string_view("\0", 1));
  return t.ok();
}

}  // namespace http
