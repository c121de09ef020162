#include "net/tls/openssl_build_id.h"

uint32_t OpenSSLSharedBuildId() { return kOpenSslSharedBuildId; }

uint32_t BoundOpenSslSharedBuildId() {
  // Called through its address, which a shared library takes from the
  // global offset table that the dynamic linker filled; the empty asm keeps
  // the compiler from calling (or inlining) the local definition instead.
  uint32_t (*bound)() = &OpenSSLSharedBuildId;
  asm("" : "+r"(bound));
  return bound();
}
