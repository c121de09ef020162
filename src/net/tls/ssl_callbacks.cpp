#include <cstring>
#include <vector>

#include "net/tls/ssl_chain_buffer.h"
#include "net/tls/ssl_layer.h"
#include "net/tls/ssl_session.h"

namespace {

// The peer chain of a store context under verification.
const OPENSSL_STACK* UntrustedChain(const OpenSslFunctionTable& f, X509_STORE_CTX* store) {
  if (f.X509_STORE_CTX_get0_untrusted != nullptr) return f.X509_STORE_CTX_get0_untrusted(store);
  const OPENSSL_STACK* chain = nullptr;
  std::memcpy(
      &chain,
      reinterpret_cast<const unsigned char*>(store) + openssl::kOldStoreContextUntrustedOffset,
      sizeof chain);
  return chain;
}

}  // namespace

void OsSslInfoCallback(const SSL* ssl, int where, int value) {
  const OS_SSL_SESSION* session = SslSessionOf(ssl);
  if (session == nullptr || session->log == nullptr || (where & openssl::kCallbackAlert) == 0) {
    return;
  }
  const OpenSslFunctionTable& f = *SslFunctions();
  session->log(session->log_user, "SSL: %s:%s (%s)", f.SSL_alert_type_string_long(value),
               f.SSL_alert_desc_string_long(value),
               (where & openssl::kCallbackRead) != 0 ? "read" : "write");
}

void OsSslMsgCallback(int is_write, int, int content_type, const void* bytes, size_t length,
                      SSL* ssl, void*) {
  const OS_SSL_SESSION* session = SslSessionOf(ssl);
  if (session == nullptr || session->msg == nullptr) return;
  if (content_type != openssl::kContentCipherChange && content_type != openssl::kContentAlert &&
      content_type != openssl::kContentHandshake) {
    return;
  }
  session->msg(session->msg_user, is_write != 0 ? 1 : 0, static_cast<uint32_t>(content_type), bytes,
               length);
}

int OsSslCertVerifyCallback(X509_STORE_CTX* store, void*) {
  const OpenSslFunctionTable& f = *SslFunctions();
  const auto* ssl = static_cast<const SSL*>(
      f.X509_STORE_CTX_get_ex_data(store, f.SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (ssl == nullptr) return 0;
  const OS_SSL_SESSION* session = SslSessionOf(ssl);
  if (session == nullptr || session->verify == nullptr) return 0;
  std::vector<uint8_t> list;
  const bool packed = PackPeerChain(f, UntrustedChain(f, store), list);
  const bool any = packed && !list.empty();
  const uint32_t verdict = session->verify(any ? list.data() : nullptr, any ? list.size() : 0,
                                           session->verify_user, nullptr);
  return verdict == 0 ? 1 : 0;
}

int OsSslClientCertCallback(SSL*, X509**, EVP_PKEY**) {
  // Pauses the handshake: the caller has no client certificate to offer.
  return -1;
}
