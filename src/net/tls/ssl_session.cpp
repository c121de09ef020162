#include "net/tls/ssl_session.h"

#include <climits>
#include <new>

#include "net/tls/ssl_layer.h"

namespace {

struct ProtocolExclusion {
  uint32_t flag;
  uint64_t option;
};

constexpr ProtocolExclusion kExclusions[] = {
    {kOsSslSsl2, openssl::kOptionNoSsl2},     {kOsSslSsl3, openssl::kOptionNoSsl3},
    {kOsSslTls1, openssl::kOptionNoTls1},     {kOsSslTls1_1, openssl::kOptionNoTls1_1},
    {kOsSslTls1_2, openssl::kOptionNoTls1_2}, {kOsSslTls1_3, openssl::kOptionNoTls1_3},
};

// OpenSSL takes lengths as int.
int ClampLength(uint32_t length) { return length > INT_MAX ? INT_MAX : static_cast<int>(length); }

// A context for the flags, with the options set; null when none could be made
// (*code says why).
SSL_CTX* MakeContext(const OpenSslFunctionTable& f, uint32_t flags, OsSslResult* code) {
  uint64_t options = 0;
  const SSL_METHOD* method = OsSslSelectMethod(flags, &options);
  if (method == nullptr) {
    *code = kOsSslNotSupported;
    return nullptr;
  }
  SSL_CTX* ctx = f.SSL_CTX_new(method);
  if (ctx == nullptr) {
    *code = kOsSslNoMemory;
    return nullptr;
  }
  options |= openssl::kOptionNoEncryptThenMac;
  if (f.SSL_CTX_set_options != nullptr) {
    f.SSL_CTX_set_options(ctx, options);
  } else {
    f.SSL_CTX_ctrl(ctx, openssl::kCtrlOptions, static_cast<long>(options), nullptr);
  }
  return ctx;
}

void InstallCallbacks(const OpenSslFunctionTable& f, SSL_CTX* ctx, uint32_t flags) {
  if ((flags & kOsSslPauseOnCertificateRequest) != 0 && f.SSL_CTX_set_client_cert_cb != nullptr) {
    f.SSL_CTX_set_client_cert_cb(ctx, &OsSslClientCertCallback);
  }
  if (f.SSL_CTX_set_info_callback != nullptr) f.SSL_CTX_set_info_callback(ctx, &OsSslInfoCallback);
  f.SSL_CTX_set_msg_callback(ctx, &OsSslMsgCallback);
}

// Gives the SSL object its two memory BIOs and its session; false when a BIO
// cannot be made.
bool AttachBuffers(const OpenSslFunctionTable& f, SSL* ssl, OS_SSL_SESSION* session) {
  BIO* read_bio = f.BIO_new(f.BIO_s_mem());
  BIO* write_bio = f.BIO_new(f.BIO_s_mem());
  if (read_bio == nullptr || write_bio == nullptr) {
    if (read_bio != nullptr) f.BIO_free(read_bio);
    if (write_bio != nullptr) f.BIO_free(write_bio);
    return false;
  }
  f.SSL_set_bio(ssl, read_bio, write_bio);
  f.SSL_set_ex_data(ssl, SslSessionIndex(), session);
  return true;
}

// SSL_read and SSL_write results below 1 that leave the session usable.
OsSslResult HandshakeResult(const OS_SSL_SESSION* session, int result) {
  const OpenSslFunctionTable& f = *SslFunctions();
  switch (f.SSL_get_error(session->ssl, result)) {
    case openssl::kErrorSsl:
      return OsSslDrainErrors(session);
    case openssl::kErrorWantX509Lookup:
      return kOsSslWantCertificate;
    default:
      return kOsSslOk;
  }
}

}  // namespace

const SSL_METHOD* OsSslSelectMethod(uint32_t flags, uint64_t* options) {
  const OpenSslFunctionTable& f = *SslFunctions();
  *options = 0;
  if ((flags & kOsSslProtocolMask) == kOsSslSsl2 && f.SSLv2_method != nullptr) {
    return f.SSLv2_method();
  }
  for (const ProtocolExclusion& exclusion : kExclusions) {
    if ((flags & exclusion.flag) == 0) *options |= exclusion.option;
  }
  return f.generic_method != nullptr ? f.generic_method() : nullptr;
}

OsSslResult OsSslCreate(const char* server_name, const void*, const OS_SSL_CONTEXT* existing,
                        const void* client_certificate, uint32_t flags, OsSslVerifyFunction verify,
                        void* verify_user, OS_SSL_SESSION** session, uint32_t* status) {
  if (status != nullptr) *status = 0;
  if (session == nullptr) return kOsSslBadArgument;
  *session = nullptr;
  if ((flags & kOsSslUnsupported) != 0) return kOsSslNotSupported;
  const OpenSslFunctionTable* functions = SslFunctions();
  if (functions == nullptr) return kOsSslMissing;
  const OpenSslFunctionTable& f = *functions;

  SSL_CTX* ctx = nullptr;
  const bool owns_context = existing == nullptr;
  if (existing != nullptr) {
    if (existing->flags != flags) return kOsSslContextMismatch;
    ctx = existing->ctx;
  } else {
    if (client_certificate != nullptr) return kOsSslNotSupported;
    OsSslResult code = kOsSslOk;
    ctx = MakeContext(f, flags, &code);
    if (ctx == nullptr) return code;
  }
  InstallCallbacks(f, ctx, flags);

  auto* record = new (std::nothrow) OS_SSL_SESSION{};
  if (record == nullptr) {
    if (owns_context) f.SSL_CTX_free(ctx);
    return kOsSslNoMemory;
  }
  // Before SSL_new, which copies the context's verify mode.
  if (verify != nullptr) {
    record->verify = verify;
    record->verify_user = verify_user;
    f.SSL_CTX_set_verify(ctx, openssl::kVerifyPeer, nullptr);
    f.SSL_CTX_set_cert_verify_callback(ctx, &OsSslCertVerifyCallback, nullptr);
  }
  SSL* ssl = f.SSL_new(ctx);
  if (ssl == nullptr) {
    delete record;
    if (owns_context) f.SSL_CTX_free(ctx);
    return kOsSslNoMemory;
  }
  if (server_name != nullptr) {
    f.SSL_ctrl(ssl, openssl::kCtrlSetTlsExtHostName, openssl::kTlsExtNameTypeHostName,
               const_cast<char*>(server_name));
  }
  if (!AttachBuffers(f, ssl, record)) {
    f.SSL_free(ssl);
    delete record;
    if (owns_context) f.SSL_CTX_free(ctx);
    return kOsSslNoMemory;
  }
  record->ssl = ssl;
  record->ctx = ctx;
  record->server = 0;
  record->owns_context = owns_context ? 1 : 0;
  *session = record;
  return kOsSslOk;
}

void OsSslSetLogCallback(OS_SSL_SESSION* session, void* user, OsSslLogFunction log) {
  if (session == nullptr) return;
  session->log_user = user;
  session->log = log;
}

OsSslResult OsSslStartHandshake(OS_SSL_SESSION* session) {
  if (session == nullptr) return kOsSslBadArgument;
  const OpenSslFunctionTable& f = *SslFunctions();
  f.SSL_set_connect_state(session->ssl);
  // A zero-byte write runs the handshake until it waits for the server,
  // leaving the client hello in the write BIO.
  const int result = f.SSL_write(session->ssl, nullptr, 0);
  return result < 1 ? HandshakeResult(session, result) : kOsSslOk;
}

bool OsSslIsHandshaking(const OS_SSL_SESSION* session) {
  if (session == nullptr) return false;
  const OpenSslFunctionTable& f = *SslFunctions();
  if (f.SSL_state != nullptr) return f.SSL_state(session->ssl) != openssl::kOldStateOk;
  return f.SSL_get_state(session->ssl) != openssl::kNewStateOk;
}

uint64_t OsSslGetOutputPending(const OS_SSL_SESSION* session) {
  if (session == nullptr) return 0;
  const OpenSslFunctionTable& f = *SslFunctions();
  return f.BIO_ctrl_pending(f.SSL_get_wbio(session->ssl));
}

OsSslResult OsSslGetOutput(OS_SSL_SESSION* session, void* buffer, uint32_t* length) {
  if (session == nullptr || buffer == nullptr || length == nullptr) return kOsSslBadArgument;
  const OpenSslFunctionTable& f = *SslFunctions();
  const int n = f.BIO_read(f.SSL_get_wbio(session->ssl), buffer, ClampLength(*length));
  if (n < 0) {
    *length = 0;
    return kOsSslError;
  }
  *length = static_cast<uint32_t>(n);
  return kOsSslOk;
}

OsSslResult OsSslPutInput(OS_SSL_SESSION* session, const void* data, uint32_t length) {
  if (session == nullptr || data == nullptr || length > INT_MAX) return kOsSslBadArgument;
  const OpenSslFunctionTable& f = *SslFunctions();
  SslInitializer().TouchThreadState();
  const bool was_handshaking = OsSslIsHandshaking(session);
  if (f.BIO_write(f.SSL_get_rbio(session->ssl), data, static_cast<int>(length)) < 0) {
    return kOsSslInputRefused;
  }
  f.ERR_clear_error();
  // A zero-byte read lets OpenSSL process what arrived without taking
  // plaintext; a complete record, the peer's close_notify (an orderly end,
  // see OsSslIsClosed) and the other outcomes below 1 all answer 0.
  const int result = f.SSL_read(session->ssl, nullptr, 0);
  if (result > 0) return kOsSslOk;
  switch (f.SSL_get_error(session->ssl, result)) {
    case openssl::kErrorWantRead:
      if (was_handshaking) return kOsSslOk;
      return OsSslIsHandshaking(session) ? kOsSslRenegotiating : kOsSslNeedMoreInput;
    case openssl::kErrorWantX509Lookup:
      return kOsSslWantCertificate;
    case openssl::kErrorSsl:
      return OsSslDrainErrors(session);
    default:
      return kOsSslOk;
  }
}

uint32_t OsSslPending(OS_SSL_SESSION* session) {
  if (session == nullptr) return 0;
  const OpenSslFunctionTable& f = *SslFunctions();
  // SSL_pending counts only decrypted bytes; a one-byte peek decrypts a
  // record that is buffered whole.
  unsigned char byte = 0;
  f.SSL_peek(session->ssl, &byte, 1);
  const int pending = f.SSL_pending(session->ssl);
  return pending > 0 ? static_cast<uint32_t>(pending) : 0;
}

OsSslResult OsSslRead(OS_SSL_SESSION* session, void* buffer, uint32_t* length) {
  if (session == nullptr || buffer == nullptr || length == nullptr) return kOsSslBadArgument;
  const int n = SslFunctions()->SSL_read(session->ssl, buffer, ClampLength(*length));
  if (n < 0) {
    *length = 0;
    return kOsSslError;
  }
  *length = static_cast<uint32_t>(n);
  return kOsSslOk;
}

OsSslResult OsSslWrite(OS_SSL_SESSION* session, const void* data, uint32_t length) {
  if (session == nullptr || data == nullptr || length > INT_MAX) return kOsSslBadArgument;
  SslInitializer().TouchThreadState();
  if (SslFunctions()->SSL_write(session->ssl, data, static_cast<int>(length)) < 1) {
    return kOsSslWriteFailed;
  }
  return kOsSslOk;
}

bool OsSslIsClosed(const OS_SSL_SESSION* session) {
  if (session == nullptr) return false;
  return (SslFunctions()->SSL_get_shutdown(session->ssl) & openssl::kReceivedShutdown) != 0;
}

void OsSslDestroy(OS_SSL_SESSION* session) {
  if (session == nullptr) return;
  const OpenSslFunctionTable& f = *SslFunctions();
  SslInitializer().PurgeThreadStates(false);
  // The SSL object owns and frees both BIOs.
  if (session->ssl != nullptr) f.SSL_free(session->ssl);
  if (session->owns_context != 0) f.SSL_CTX_free(session->ctx);
  delete session;
}
