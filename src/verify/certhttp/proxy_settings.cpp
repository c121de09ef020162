#include "verify/certhttp/proxy_settings.h"

#include <cstring>
#include <new>

bool HttpProxySettings::SetAddress(const char* host, uint32_t port) {
  if (host == nullptr) return false;
  host_.reset();
  const size_t size = std::strlen(host) + 1;
  host_.reset(new (std::nothrow) char[size]);
  if (host_ == nullptr) return false;
  std::memcpy(host_.get(), host, size);
  port_ = port;
  return true;
}

bool HttpProxySettings::SetCredential(const NetworkCredential* credential) {
  if (credential == nullptr) return false;
  credential_ = credential;
  return true;
}
