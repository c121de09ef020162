#include <span>
#include <string>
#include <string_view>

#include "platform/os/os_mutex.h"

#include "net/tls/ssl_chain_buffer.h"
#include "net/tls/ssl_layer.h"
#include "net/tls/ssl_session.h"

namespace {

// Certificate results and trust status flags of the check.
constexpr int32_t kChainUnusable = -1;
constexpr uint32_t kTrustNotTimeValid = 0x1;
constexpr uint32_t kTrustKeyUsage = 0x8;
constexpr uint32_t kTrustUntrustedRoot = 0x20;
constexpr uint32_t kTrustOther = 0x400;

struct Verdict {
  int32_t result;
  uint32_t flags;
};

constexpr Verdict kOtherFailure = {24, kTrustOther};
// The server's certificate is good but names another server.
constexpr Verdict kHostMismatch = {53, kTrustOther};
// X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT.
constexpr unsigned int kCheckHostFlags = 0x04 | 0x20;
// The security level OpenSSL's own TLS clients verify a server's chain at:
// keys of 112 bits of strength or more (RSA from 2048 bits) and no signature
// weaker than that (no SHA-1) except the trust anchor's signature on itself.
constexpr int kServerAuthLevel = 2;

Verdict MapVerifyError(int error) {
  switch (error) {
    case openssl::kX509UnableToDecryptSignature:
    case openssl::kX509SignatureFailure:
      return {16, kTrustOther};
    case openssl::kX509CertificateExpired:
      return {8, kTrustNotTimeValid};
    case openssl::kX509SelfSignedLeaf:
    case openssl::kX509SelfSignedInChain:
      return {42, kTrustOther};
    case openssl::kX509UnableToGetLocalIssuer:
    case openssl::kX509InvalidCa:
    case openssl::kX509InvalidCaSince3:
      return {6, kTrustUntrustedRoot};
    case openssl::kX509SubjectIssuerMismatch:
      return {13, kTrustOther};
    case openssl::kX509KeyUsageNoDigitalSignature:
      return {1, kTrustKeyUsage};
    default:
      return kOtherFailure;
  }
}

bool HasCheckFunctions(const OpenSslFunctionTable* f) {
  return f != nullptr && f->X509_STORE_new != nullptr && f->stack_new_null != nullptr &&
         f->d2i_X509 != nullptr && f->stack_push != nullptr &&
         f->X509_STORE_set_default_paths != nullptr && f->X509_STORE_CTX_new != nullptr &&
         f->X509_STORE_CTX_init != nullptr && f->X509_verify_cert != nullptr &&
         f->X509_free != nullptr && f->stack_free != nullptr && f->X509_STORE_free != nullptr &&
         f->X509_STORE_CTX_get_error != nullptr && f->X509_STORE_CTX_set_purpose != nullptr &&
         f->X509_STORE_CTX_get0_param != nullptr && f->X509_VERIFY_PARAM_set_auth_level != nullptr;
}

X509* ParseCertificate(const OpenSslFunctionTable& f, std::span<const uint8_t> der) {
  const unsigned char* cursor = der.data();
  return f.d2i_X509(nullptr, &cursor, static_cast<long>(der.size()));
}

void FreeChain(const OpenSslFunctionTable& f, OPENSSL_STACK* chain) {
  if (chain == nullptr) return;
  for (int i = 0, n = f.stack_num(chain); i < n; ++i) {
    f.X509_free(static_cast<X509*>(f.stack_value(chain, i)));
  }
  f.stack_free(chain);
}

// The certificates of the list after the first `skip` items, as untrusted
// helpers; null when there are none.
OPENSSL_STACK* OsSslBuildChain(const OpenSslFunctionTable& f, std::span<const uint8_t> list,
                               size_t skip) {
  PeerChainReader reader(list);
  for (size_t i = 0; i < skip && !reader.AtEnd(); ++i) reader.Next();
  OPENSSL_STACK* chain = nullptr;
  while (!reader.AtEnd()) {
    const std::optional<std::span<const uint8_t>> item = reader.Next();
    if (!item) break;
    X509* certificate = ParseCertificate(f, *item);
    if (certificate == nullptr) continue;
    if (chain == nullptr) chain = f.stack_new_null();
    if (chain == nullptr || f.stack_push(chain, certificate) <= 0) f.X509_free(certificate);
  }
  return chain;
}

// The system's trust store, read once per process: every check of every
// handshake reuses it instead of reading the trust paths again.
X509_STORE* g_system_store = nullptr;

int LoadSystemStore(void*) {
  const OpenSslFunctionTable& f = *SslFunctions();
  X509_STORE* store = f.X509_STORE_new();
  if (store == nullptr) return 1;
  f.X509_STORE_set_default_paths(store);
  g_system_store = store;
  return 0;
}

OS_LAZY_INIT g_system_store_init = {false, &LoadSystemStore, nullptr, nullptr};

X509_STORE* SystemStore() {
  return OsLazyInitOnce(&g_system_store_init) == 0 ? g_system_store : nullptr;
}

// Holds the chain to what a TLS client asks of a server's: the TLS-server
// purpose (an extended key usage, when present, allows server
// authentication) and the level above. False when either cannot be set.
bool ApplyServerPolicy(const OpenSslFunctionTable& f, X509_STORE_CTX* ctx) {
  X509_VERIFY_PARAM* param = f.X509_STORE_CTX_get0_param(ctx);
  if (param == nullptr || f.X509_STORE_CTX_set_purpose(ctx, openssl::kX509PurposeSslServer) != 1) {
    return false;
  }
  f.X509_VERIFY_PARAM_set_auth_level(param, kServerAuthLevel);
  return true;
}

// Verifies the server's certificate with the rest of the list as helpers:
// only the path OpenSSL builds counts, not a certificate off it. 0, or the
// X509 error; nullopt when no store context could be made.
std::optional<int> VerifyLeaf(const OpenSslFunctionTable& f, X509_STORE* store, X509* leaf,
                              std::span<const uint8_t> list) {
  X509_STORE_CTX* ctx = f.X509_STORE_CTX_new();
  if (ctx == nullptr) return std::nullopt;
  OPENSSL_STACK* untrusted = OsSslBuildChain(f, list, 1);
  int error = 0;
  if (f.X509_STORE_CTX_init(ctx, store, leaf, untrusted) != 1 || !ApplyServerPolicy(f, ctx) ||
      f.X509_verify_cert(ctx) != 1) {
    error = f.X509_STORE_CTX_get_error(ctx);
    // A failure that names no reason still fails (a policy that could not be
    // set among them).
    if (error == 0) error = -1;
  }
  f.X509_STORE_CTX_free(ctx);
  FreeChain(f, untrusted);
  return error;
}

// The certificate names the host: an address literal (brackets dropped)
// against its address entries, a name against its DNS entries (wildcards
// in the leftmost label only, never the subject's common name).
bool NamesHost(const OpenSslFunctionTable& f, X509* leaf, std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::string text(host);
  if (f.X509_check_ip_asc == nullptr || f.X509_check_host == nullptr) return false;
  const int as_address = f.X509_check_ip_asc(leaf, text.c_str(), 0);
  // -2: not an address literal.
  if (as_address != -2) return as_address == 1;
  return f.X509_check_host(leaf, text.data(), text.size(), kCheckHostFlags, nullptr) == 1;
}

}  // namespace

int32_t OsSslCheckCertificateChain(const uint8_t* chain, uint64_t length, const char* host_name,
                                   uint32_t* flags) {
  uint32_t ignored = 0;
  uint32_t& trust = flags != nullptr ? *flags : ignored;
  trust = kTrustUntrustedRoot;
  const OpenSslFunctionTable* functions = SslFunctions();
  if (!HasCheckFunctions(functions)) return kChainUnusable;
  const OpenSslFunctionTable& f = *functions;
  const std::span<const uint8_t> list =
      chain != nullptr ? std::span<const uint8_t>(chain, static_cast<size_t>(length))
                       : std::span<const uint8_t>();

  X509_STORE* store = SystemStore();
  if (store == nullptr) return kChainUnusable;
  PeerChainReader reader(list);
  const std::optional<std::span<const uint8_t>> item = reader.Next();
  X509* leaf = item ? ParseCertificate(f, *item) : nullptr;
  if (leaf == nullptr) return kChainUnusable;
  const std::optional<int> error = VerifyLeaf(f, store, leaf, list);
  Verdict verdict = {0, 0};
  if (!error || *error != 0) {
    verdict = error ? MapVerifyError(*error) : kOtherFailure;
  } else if (host_name != nullptr && host_name[0] != '\0' && !NamesHost(f, leaf, host_name)) {
    verdict = kHostMismatch;
  }
  f.X509_free(leaf);
  trust = verdict.flags;
  return verdict.result;
}
