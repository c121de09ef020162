#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "updater.h"

class CHttpTransport;

// The server-certificate check of the TLS transport. The peer's chain is
// judged first against the product's own roots and the certificate trust
// lists of the PKI server (cached in the transport's certificate cache
// folder), then, when that fails, against the system's trust store. Either
// way the server's certificate must also name the host of the URL.

// Where the trust lists come from unless SetPkiBaseUrl says otherwise.
inline constexpr char kDefaultPkiBaseUrl[] = "http://pki.wexa.com/";

// Process-wide; null or empty restores the default.
void SetPkiBaseUrl(const char* url);
[[nodiscard]] std::string PkiBaseUrl();

// The verify callback that SetCertificateCacheFolder installs; transport is
// the CHttpTransport. 0 accepts the chain; 21 refuses a call without chain,
// transport or server name; otherwise the system check's result.
uint32_t UPD_MSABI CertificateCallback(const uint8_t* chain, size_t length, void* transport,
                                       uint32_t* trust_flags);

// The built-in check: 0 when the chain ends in the product's roots (through
// the trust lists) and names the transport's server; 21 without a
// certificate cache folder; 12 when memory or the trust store fails;
// otherwise the chain check's result. trust_flags (may be null) receives
// the chain's status.
[[nodiscard]] uint32_t VerifyServerCertificate(const CHttpTransport* transport,
                                               const uint8_t* chain, uint64_t length,
                                               uint32_t* trust_flags);
