#include "net/tls/ssl_layer.h"

#include <atomic>

#include "platform/os/os_mutex.h"

using Shared::Library::OpenSSL::Initializer;

namespace {

constexpr const char* kSessionIndexName = "Wexa_ZelOsApi_SSL";
// ERR_error_string_n's buffer; longer texts are cut.
constexpr size_t kErrorTextSize = 1024;

Initializer* g_initializer = nullptr;
int g_session_index = -1;
std::atomic<const OpenSslFunctionTable*> g_functions{nullptr};
// The code of the calling thread's last failed initialisation.
thread_local OsSslResult t_init_code = kOsSslOk;

OsSslResult MapLoaderCode(Shared::Library::OpenSSL::LoaderCode code) {
  switch (code) {
    case Shared::Library::OpenSSL::kLoaderOk:
      return kOsSslOk;
    case Shared::Library::OpenSSL::kLoaderNoMemory:
      return kOsSslNoMemory;
    case Shared::Library::OpenSSL::kLoaderFunctionMissing:
    case Shared::Library::OpenSSL::kLoaderLibraryMissing:
      return kOsSslMissing;
    default:
      return kOsSslError;
  }
}

int RegisterSessionIndex(const Initializer& initializer) {
  const OpenSslFunctionTable& f = *initializer.Functions();
  void* name = const_cast<char*>(kSessionIndexName);
  if (initializer.UsesNewApi()) {
    return f.CRYPTO_get_ex_new_index(openssl::kExIndexSslClass, 0, name, nullptr, nullptr, nullptr);
  }
  return f.SSL_get_ex_new_index(0, name, nullptr, nullptr, nullptr);
}

OsSslResult InitializeLayer() {
  Initializer* initializer = nullptr;
  const OsSslResult code = MapLoaderCode(CreateOpenSslInitializer(&initializer));
  if (code != kOsSslOk) return code;
  const int index = RegisterSessionIndex(*initializer);
  // Without an index no callback could find its session.
  if (index < 0) {
    OsSslReleaseInitializer(initializer);
    return kOsSslError;
  }
  g_initializer = initializer;
  g_session_index = index;
  g_functions.store(initializer->Functions(), std::memory_order_release);
  return kOsSslOk;
}

int RunInitializeLayer(void*) {
  t_init_code = InitializeLayer();
  return t_init_code == kOsSslOk ? 0 : 1;
}

OS_LAZY_INIT g_layer_init = {false, &RunInitializeLayer, nullptr, nullptr};

}  // namespace

OsSslResult OsSslInitialize() {
  return OsLazyInitOnce(&g_layer_init) == 0 ? kOsSslOk : t_init_code;
}

bool OsSslIsInitialized() { return SslFunctions() != nullptr; }

OsSslResult OsSslNotSupported(uint64_t) { return kOsSslNotSupported; }

const OpenSslFunctionTable* SslFunctions() { return g_functions.load(std::memory_order_acquire); }

const Initializer& SslInitializer() { return *g_initializer; }

int SslSessionIndex() { return g_session_index; }

OS_SSL_SESSION* SslSessionOf(const SSL* ssl) {
  return static_cast<OS_SSL_SESSION*>(SslFunctions()->SSL_get_ex_data(ssl, g_session_index));
}

OsSslResult OsSslDrainErrors(const OS_SSL_SESSION* session) {
  const OpenSslFunctionTable& f = *SslFunctions();
  for (unsigned long error = f.ERR_get_error(); error != 0; error = f.ERR_get_error()) {
    char text[kErrorTextSize];
    f.ERR_error_string_n(error, text, sizeof text);
    if (session != nullptr && session->log != nullptr) {
      session->log(session->log_user, "SSL: %s (ERR)", text);
    }
  }
  return kOsSslError;
}
