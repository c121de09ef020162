// The system chain check over arbitrary peer certificate lists: the list
// reader and OpenSSL's certificate parser behind it, with the system's
// OpenSSL loaded at start.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/tls/ssl_session.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every check reads the default trust paths; the system's would cost a
  // whole certificate bundle per input.
  setenv("SSL_CERT_FILE", "/nonexistent", 1);
  setenv("SSL_CERT_DIR", "/nonexistent", 1);
  if (OsSslInitialize() != kOsSslOk) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t flags = 0;
  (void)OsSslCheckCertificateChain(data, size, nullptr, &flags);
  return 0;
}
