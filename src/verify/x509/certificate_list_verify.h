#pragma once

#include <cstdint>

#include "verify/x509/certificate_store.h"
#include "verify/x509/signer_match.h"

// Results of the certificate-list verification besides the chain's own.
enum CertificateListResult : uint32_t {
  kCertListTrusted = 0,
  kCertListNoMemory = 12,
  kCertListSignerMismatch = 13,
  kCertListBadArgument = 18,
  kCertListBadLength = 21,
  kCertListMalformed = 22,
  kCertListBadAltName = 24,
  kCertListHostMismatch = 53,
};

// Build flags of the TLS server check: time errors fatal, revocation
// records consulted, no anchor query.
inline constexpr uint32_t kTlsChainFlags = 0x47;
// Root set of the TLS server check: the product's own two roots.
inline constexpr uint32_t kTlsRootSet = 4;

// Judges a packed peer certificate list: the chain of its first certificate
// against the store at the time, then optionally the leaf's subject against
// a signer requirement and its subjectAltName against a host name. The
// status word receives the chain's status once a chain was built; argument
// and list errors leave it untouched.
[[nodiscard]] uint32_t VerifyCertificateListEx(CertificateStore* store, const uint8_t* list,
                                               uint64_t length, int64_t time, uint32_t flags,
                                               const SignerRequirement* requirement,
                                               uint32_t* status, const char* host);
[[nodiscard]] uint32_t VerifyCertificateList(CertificateStore* store, const uint8_t* list,
                                             uint64_t length, int64_t time, uint32_t flags,
                                             uint32_t* status);
