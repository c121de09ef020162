#include "verify/certhttp/download_client.h"

#include <cstring>
#include <memory>
#include <new>

#include "verify/certhttp/http_send.h"
#include "verify/certhttp/http_session.h"

namespace Authenticode {
namespace {

// The download client speaks plain HTTP on the standard port only.
constexpr uint32_t kHttpPort = 80;
constexpr uint64_t kReadPiece = 256;

// The parts of an "http://host/path" URL; the host is a copy.
struct UrlParts {
  std::unique_ptr<char[]> host;
  const char* path = nullptr;
};

DownloadResult SplitUrl(const char* url, UrlParts* parts) {
  const char* separator = std::strpbrk(url, "/:");
  if (separator == nullptr || separator[0] != ':' || separator[1] != '/' || separator[2] != '/' ||
      separator - url != 4 || std::strncmp(url, "http", 4) != 0) {
    return kDownloadNotHttp;
  }
  const char* host = separator + 3;
  const char* slash = std::strchr(host, '/');
  if (slash == nullptr) return kDownloadNoMemory;
  const size_t length = static_cast<size_t>(slash - host);
  parts->host.reset(new (std::nothrow) char[length + 1]);
  if (parts->host == nullptr) return kDownloadNoMemory;
  std::memcpy(parts->host.get(), host, length);
  parts->host[length] = '\0';
  parts->path = slash;
  return kDownloadOk;
}

// Plain copies of the passwords, alive only while the request is opened.
class PlainCredentials {
 public:
  PlainCredentials(const NetworkCredential* server, const HttpProxySettings* proxy) {
    Fill(server, &record_.user_name, &record_.password, &password_);
    if (proxy != nullptr) {
      Fill(proxy->GetCredential(), &record_.proxy_user_name, &record_.proxy_password,
           &proxy_password_);
    }
  }
  ~PlainCredentials() { Wipe(); }
  PlainCredentials(const PlainCredentials&) = delete;
  PlainCredentials& operator=(const PlainCredentials&) = delete;

  const http::CHTTPCredentials* record() const { return &record_; }
  void Wipe() {
    WipeBytes(&record_, sizeof(record_));
    password_.Free();
    proxy_password_.Free();
  }

 private:
  static void Fill(const NetworkCredential* credential, const char** user, const char** password,
                   SecureString* plain) {
    if (credential == nullptr) return;
    if (credential->GetUserName().IsSet()) *user = credential->GetUserName().text();
    if (credential->GetPassword().IsSet() &&
        SecureString::CopyPlain(credential->GetPassword(), *plain)) {
      *password = plain->text();
    }
  }

  http::CHTTPCredentials record_;
  SecureString password_;
  SecureString proxy_password_;
};

struct SessionCloser {
  void operator()(http::CHTTPSession* session) const { (void)http::HttpSessionClose(session); }
};
using SessionPtr = std::unique_ptr<http::CHTTPSession, SessionCloser>;

DownloadResult ReadBody(http::CHTTPSession* session, ByteArray& output, uint64_t max_bytes) {
  uint64_t length = http::kNoLength;
  const uint32_t known = http::HttpSessionGetContentLength(session, &length);
  if (known != http::kOk && known != http::kNoResponse) return kDownloadFailed;
  // Refused before any of the body is read.
  if (known == http::kOk && length != http::kNoLength && length > max_bytes) {
    return kDownloadNoMemory;
  }
  if (!output.SetSize(0)) return kDownloadNoMemory;
  uint8_t piece[kReadPiece];
  uint64_t total = 0;
  for (;;) {
    uint64_t received = 0;
    const uint32_t code =
        http::HttpSessionRead(session, piece, sizeof(piece), &received, 1, nullptr);
    if (code == http::kEnd) return kDownloadOk;
    if (code != http::kOk) return kDownloadFailed;
    if (!output.Append(static_cast<int64_t>(received), piece)) return kDownloadNoMemory;
    total += received;
    if (total > max_bytes) return kDownloadNoMemory;
  }
}

}  // namespace

bool HttpClient::SetCredential(const NetworkCredential* credential) {
  if (credential == nullptr) return false;
  credential_ = credential;
  return true;
}

bool HttpClient::SetProxy(const HttpProxySettings* proxy) {
  if (proxy == nullptr) return false;
  proxy_ = proxy;
  return true;
}

uint32_t HttpClient::Download(ByteArray& output, const char* url, uint64_t url_length,
                              uint32_t timeout_seconds, uint64_t max_bytes) {
  if (url == nullptr || url_length == 0) return kDownloadBadArgument;
  UrlParts parts;
  const DownloadResult split = SplitUrl(url, &parts);
  if (split != kDownloadOk) return split;

  http::CHTTPRequest request;
  request.host = parts.host.get();
  request.port = kHttpPort;
  request.path = parts.path;
  if (proxy_ != nullptr) {
    request.proxy_host = proxy_->GetHost();
    request.proxy_port = proxy_->GetPort();
    request.direct_fallback = proxy_->GetFlag();
  }
  http::CHTTPSession* opened = nullptr;
  uint32_t code = 0;
  {
    PlainCredentials credentials(credential_, proxy_);
    const http::CHTTPContent content;
    code = http::HttpSessionOpen(http::kMethodGet, &request, credentials.record(), &content,
                                 &opened, nullptr, timeout_seconds, nullptr);
    credentials.Wipe();
  }
  SessionPtr session(opened);
  if (code != http::kOk) return code == http::kNotFound ? kDownloadNotFound : kDownloadFailed;
  return ReadBody(session.get(), output, max_bytes);
}

}  // namespace Authenticode
