#pragma once

#include "verify/certhttp/secure_string.h"

// User name (held plain) and password (held scrambled) of a server or proxy.
class NetworkCredential {
 public:
  NetworkCredential() = default;
  ~NetworkCredential();
  NetworkCredential(const NetworkCredential&) = delete;
  NetworkCredential& operator=(const NetworkCredential&) = delete;

  // False when either text is null or cannot be stored (the user name may
  // then already be stored).
  [[nodiscard]] bool Set(const char* user_name, const char* password);
  const SecureString& GetUserName() const { return user_name_; }
  const SecureString& GetPassword() const { return password_; }

 private:
  SecureString user_name_;
  SecureString password_;
};
