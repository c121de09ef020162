#pragma once

// The OpenSSL run-time loader: libcrypto and libssl are opened by name with
// the platform's library loader (never linked), their entry points resolved
// into one OpenSslFunctionTable, and both the 1.0 interface and the
// 1.1-and-later interface accepted. One process-wide instance holds the
// libraries; every Initializer that initialised counts once, and the
// libraries close when the last one is released.

#include <cstdint>
#include <memory>

#include "net/tls/openssl_function_table.h"
#include "net/tls/openssl_memory_hooks.h"
#include "platform/os/os_library.h"

namespace Shared::Library::OpenSSL {

// Loader results.
enum [[nodiscard]] LoaderCode : uint32_t {
  kLoaderOk = 0,
  kLoaderBuildMismatch = 5000,  // the process binds another loader's build number
  kLoaderNoMemory = 7002,
  kLoaderInitFailed = 7013,       // OpenSSL's own initialisation or the memory hooks failed
  kLoaderFunctionMissing = 7016,  // a required name did not resolve
  kLoaderLibraryMissing = 7020,   // a library is missing, or the two do not belong together
};

// How long a thread may leave OpenSSL unused before its error state is
// released by PurgeThreadStates.
inline constexpr int64_t kThreadStateIdleSeconds = 74;

// A handle on the process-wide loader; empty until Initialize succeeds.
// Destroying an initialised handle releases it.
class Initializer {
 public:
  class InstanceImpl;

  Initializer() = default;
  ~Initializer();
  Initializer(const Initializer&) = delete;
  Initializer& operator=(const Initializer&) = delete;

  // Loads OpenSSL on the process's first initialisation; later calls only
  // count (their memory functions are ignored). The host memory functions
  // are optional and used only when all three are given and OpenSSL (1.1
  // and later) accepts them. Initialising a handle that is already
  // initialised releases it first.
  LoaderCode Initialize(const HostMemoryFunctions& memory = {});
  // Undoes one successful Initialize; the last release closes the libraries.
  void Release();

  bool IsInitialized() const { return instance_ != nullptr; }
  // Accessors of an initialised handle.
  OS_LIBRARY* SslLibrary() const;
  OS_LIBRARY* CryptoLibrary() const;
  const OpenSslFunctionTable* Functions() const;
  // True when "OPENSSL_thread_stop" selected the 1.1-and-later interface.
  bool UsesNewApi() const;

  // Records the calling thread as a user of OpenSSL now.
  void TouchThreadState() const;
  // Releases OpenSSL's error state of the recorded threads idle for
  // kThreadStateIdleSeconds or longer (or of all of them). Thread tracking
  // works only where OpenSSL offers per-thread ids (the 1.0 interface);
  // elsewhere both calls do nothing.
  void PurgeThreadStates(bool all) const;

 private:
  friend class InstanceImpl;
  std::shared_ptr<InstanceImpl> instance_;
};

// The clock of the thread tracking (seconds since 1970); tests replace it.
using ThreadStateClock = int64_t (*)();
void SetThreadStateClock(ThreadStateClock clock);

}  // namespace Shared::Library::OpenSSL

// Makes a new Initializer and initialises it. On success the Initializer
// that *out held is released and freed and *out takes the new one; on
// failure *out is left as it was and the loader code is returned.
Shared::Library::OpenSSL::LoaderCode CreateOpenSslInitializer(
    Shared::Library::OpenSSL::Initializer** out,
    Shared::Library::OpenSSL::HostAllocate allocate = nullptr,
    Shared::Library::OpenSSL::HostReallocate reallocate = nullptr,
    Shared::Library::OpenSSL::HostFree free = nullptr);

// Releases and frees a heap Initializer (null accepted).
void OsSslReleaseInitializer(Shared::Library::OpenSSL::Initializer* initializer);
