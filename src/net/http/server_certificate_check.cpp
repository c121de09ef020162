#include "net/http/server_certificate_check.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "net/http/http_transport.h"
#include "net/tls/ssl_session.h"
#include "platform/os/os_path.h"
#include "platform/os/os_time.h"
#include "verify/certhttp/network_credential.h"
#include "verify/certhttp/proxy_settings.h"
#include "verify/ctl/ctl_store.h"
#include "verify/x509/certificate_list_verify.h"

namespace {

// The answer to a call that has nothing to check.
constexpr uint32_t kRefused = kCertListBadLength;
// Status a failed check reports until a check says more: untrusted root.
constexpr uint32_t kUntrustedRoot = 0x20;
// The certificate cache folder field of the transport, with its NUL.
constexpr size_t kCacheFolderSize = 4096;

std::mutex g_pki_lock;
std::string g_pki_url = kDefaultPkiBaseUrl;

// The host as the certificate's names compare with it: an address in the
// text of an address entry (dotted quad, or eight groups of four hex
// digits), a DNS name as given.
std::string CertificateHostName(const std::string& server_name) {
  std::string text = server_name;
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  unsigned char address[16];
  char out[48];
  if (inet_pton(AF_INET, text.c_str(), address) == 1) {
    std::snprintf(out, sizeof out, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return out;
  }
  if (inet_pton(AF_INET6, text.c_str(), address) == 1) {
    size_t at = 0;
    for (size_t i = 0; i < sizeof address; i += 2) {
      at += static_cast<size_t>(std::snprintf(out + at, sizeof out - at, i == 0 ? "%04x" : ":%04x",
                                              (address[i] << 8) | address[i + 1]));
    }
    return out;
  }
  return server_name;
}

// The credentials and proxy of the trust-list downloads, from the
// transport's configuration.
struct PkiRoute {
  CountedPtr<NetworkCredential> server;
  CountedPtr<NetworkCredential> proxy_credential;
  CountedPtr<HttpProxySettings> proxy;
};

bool BuildRoute(const FetchProxy& proxy, PkiRoute* route) {
  route->server = MakeCounted<NetworkCredential>();
  route->proxy_credential = MakeCounted<NetworkCredential>();
  route->proxy = MakeCounted<HttpProxySettings>();
  if (!route->server || !route->proxy_credential || !route->proxy) return false;
  if (proxy.enabled) {
    if (!proxy.user.empty() &&
        !route->proxy_credential->Set(proxy.user.c_str(), proxy.password.c_str())) {
      return false;
    }
    if (!proxy.host.empty() && !route->proxy->SetAddress(proxy.host.c_str(), proxy.port)) {
      return false;
    }
  }
  if (!route->proxy->SetCredential(route->proxy_credential.Get())) return false;
  route->proxy->SetFlag(proxy.direct_retry ? 1 : 0);
  return true;
}

}  // namespace

void SetPkiBaseUrl(const char* url) {
  const std::lock_guard<std::mutex> lock(g_pki_lock);
  g_pki_url = url != nullptr && url[0] != '\0' ? url : kDefaultPkiBaseUrl;
}

std::string PkiBaseUrl() {
  const std::lock_guard<std::mutex> lock(g_pki_lock);
  return g_pki_url;
}

void CHttpTransport::SetCertificateCacheFolder(const char* folder) {
  char copy[kCacheFolderSize] = {};
  if (folder != nullptr) {
    std::snprintf(copy, sizeof copy, "%s", folder);
    OsAppendSlash(copy, sizeof copy);
  }
  certificate_cache_folder_ = copy;
  // A plain TCP protocol ignores the callback.
  protocol_.SetVerifyCallback(&CertificateCallback, this);
}

uint32_t UPD_MSABI CertificateCallback(const uint8_t* chain, size_t length, void* transport,
                                       uint32_t* trust_flags) {
  if (chain == nullptr || length == 0 || transport == nullptr) return kRefused;
  if (trust_flags != nullptr) *trust_flags = kUntrustedRoot;
  const auto* http = static_cast<const CHttpTransport*>(transport);
  const std::string& server_name = http->server_name();
  if (server_name.empty()) return kRefused;
  if (VerifyServerCertificate(http, chain, length, trust_flags) == kCertListTrusted) {
    return kCertListTrusted;
  }
  return static_cast<uint32_t>(
      OsSslCheckCertificateChain(chain, length, server_name.c_str(), trust_flags));
}

uint32_t VerifyServerCertificate(const CHttpTransport* transport, const uint8_t* chain,
                                 uint64_t length, uint32_t* trust_flags) {
  if (transport == nullptr) return kRefused;
  PkiRoute route;
  if (!BuildRoute(transport->config().proxy, &route)) return kCertListNoMemory;
  const std::string& folder = transport->certificate_cache_folder();
  if (folder.empty()) return kRefused;

  const CertificateStorePtr roots(CreateCertificateStore(nullptr, 0, kTlsRootSet, nullptr));
  if (roots == nullptr) return kCertListNoMemory;
  const int64_t now = OsTime();
  CTLCertStoreImpl lists;
  if (!lists.Initialize(PkiBaseUrl().c_str(), route.server, route.proxy, folder.c_str(),
                        roots.get(), now, kTlsChainFlags)) {
    return kCertListNoMemory;
  }
  const CertificateStorePtr store(CreateCertificateStore(&lists, 0, kTlsRootSet, nullptr));
  if (store == nullptr) return kCertListNoMemory;
  uint32_t status = 0xFFFFFFFF;
  const std::string host = CertificateHostName(transport->server_name());
  const uint32_t result = VerifyCertificateListEx(store.get(), chain, length, now, kTlsChainFlags,
                                                  nullptr, &status, host.c_str());
  if (trust_flags != nullptr) *trust_flags = status;
  return result;
}
