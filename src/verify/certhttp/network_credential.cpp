#include "verify/certhttp/network_credential.h"

#include <cstring>

NetworkCredential::~NetworkCredential() {
  user_name_.Free();
  password_.Free();
}

bool NetworkCredential::Set(const char* user_name, const char* password) {
  if (user_name == nullptr || password == nullptr) return false;
  if (!user_name_.Assign(std::strlen(user_name), user_name, SecureString::kPlain)) return false;
  return password_.Assign(std::strlen(password), password, SecureString::kScrambled);
}
