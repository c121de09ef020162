#pragma once

#include <cstdint>

#include "verify/certhttp/network_credential.h"
#include "verify/certhttp/proxy_settings.h"
#include "verify/common/byte_array.h"

// Fetches a file over plain HTTP for the certificate code (trust lists,
// issuer certificates).
class AuthenticodeHttpClientInterface {
 public:
  virtual ~AuthenticodeHttpClientInterface() = default;
  // Results: 0 the whole body is in output; 18 no URL; 36 not an "http://"
  // URL; 12 out of memory, body over max_bytes or no "/" after the host;
  // 37 transfer failed; 38 not found (the server's 404, 410, 3xx, 1xx).
  [[nodiscard]] virtual uint32_t Download(ByteArray& output, const char* url, uint64_t url_length,
                                          uint32_t timeout_seconds, uint64_t max_bytes) = 0;
};

namespace Authenticode {

// Certificate download results.
enum DownloadResult : uint32_t {
  kDownloadOk = 0,
  kDownloadNoMemory = 12,  // also: body over the limit, URL without a path
  kDownloadBadArgument = 18,
  kDownloadNotHttp = 36,
  kDownloadFailed = 37,
  kDownloadNotFound = 38,
};

// One GET on port 80 of the URL's host, directly or through the proxy
// settings, with the server's and the proxy's credentials. The time-out
// bounds the whole download, not only each wait.
class HttpClient : public AuthenticodeHttpClientInterface {
 public:
  HttpClient() = default;
  ~HttpClient() override = default;

  // Not owned: the caller keeps them alive while the client is used.
  [[nodiscard]] bool SetCredential(const NetworkCredential* credential);
  [[nodiscard]] bool SetProxy(const HttpProxySettings* proxy);

  uint32_t Download(ByteArray& output, const char* url, uint64_t url_length,
                    uint32_t timeout_seconds, uint64_t max_bytes) override;

 private:
  const NetworkCredential* credential_ = nullptr;
  const HttpProxySettings* proxy_ = nullptr;
};

}  // namespace Authenticode
