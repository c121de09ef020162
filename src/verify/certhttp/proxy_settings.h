#pragma once

#include <cstdint>
#include <memory>

#include "verify/certhttp/network_credential.h"

// Proxy address, the proxy's credential and the choice to go direct when the
// proxy cannot be resolved or reached.
class HttpProxySettings {
 public:
  HttpProxySettings() = default;
  HttpProxySettings(const HttpProxySettings&) = delete;
  HttpProxySettings& operator=(const HttpProxySettings&) = delete;

  // A null host fails and changes nothing.
  [[nodiscard]] bool SetAddress(const char* host, uint32_t port);
  // Not owned: the caller keeps the credential alive while the settings are used.
  [[nodiscard]] bool SetCredential(const NetworkCredential* credential);
  void SetFlag(uint32_t flag) { flag_ = flag; }

  const char* GetHost() const { return host_.get(); }
  uint32_t GetPort() const { return port_; }
  const NetworkCredential* GetCredential() const { return credential_; }
  // Nonzero: connect to the server directly when the proxy fails.
  uint8_t GetFlag() const { return static_cast<uint8_t>(flag_ & 0xFF); }

 private:
  std::unique_ptr<char[]> host_;
  uint32_t port_ = 0;
  const NetworkCredential* credential_ = nullptr;
  uint32_t flag_ = 0;
};
