#pragma once

// The process-wide state behind every Initializer.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "net/tls/openssl_api.h"
#include "net/tls/openssl_initializer.h"
#include "platform/os/os_mutex.h"

namespace Shared::Library::OpenSSL {

class Initializer::InstanceImpl {
 public:
  ~InstanceImpl();
  InstanceImpl(const InstanceImpl&) = delete;
  InstanceImpl& operator=(const InstanceImpl&) = delete;

  // The instance, made on first use; null when its mutexes cannot be made
  // (a later call tries again).
  static std::shared_ptr<InstanceImpl> Instance();

  static LoaderCode Initialize(Initializer& target, const HostMemoryFunctions& memory);
  void Release();

  // Fills a new table from the two libraries; false when a required name is
  // missing (the previous table stays).
  bool LoadFunctions();

  void TouchThreadState();
  void PurgeThreadStates(bool all);

  // The 1.0 interface's thread-id and locking callbacks.
  static unsigned long id_callback();
  static void lock_callback(int mode, int n, const char* file, int line);

  OS_LIBRARY* ssl_library() const { return ssl_library_; }
  OS_LIBRARY* crypto_library() const { return crypto_library_; }
  const OpenSslFunctionTable* table() const { return table_.get(); }
  bool new_api() const { return new_api_; }

 private:
  struct ThreadUse {
    CRYPTO_THREADID id;
    int64_t last_use;
  };

  InstanceImpl() = default;
  // Makes the instance into its slot: 0, or 1 when it cannot be made.
  static int Create(void* unused);

  LoaderCode LoadLibraries();
  LoaderCode FirstInitialize(const HostMemoryFunctions& memory);
  LoaderCode InitializeOldApi();
  [[nodiscard]] bool MakeLockArray(int count);
  void DestroyLockArray();
  bool TracksThreads() const;
  // Releases every recorded thread's error state, frees the table and closes
  // libssl, then libcrypto.
  void Unload();

  OS_LIBRARY* ssl_library_ = nullptr;
  OS_LIBRARY* crypto_library_ = nullptr;
  std::unique_ptr<OpenSslFunctionTable> table_;
  bool new_api_ = false;
  // Keyed by CRYPTO_THREADID_hash of the thread's id.
  std::map<unsigned long, ThreadUse> threads_;
  OS_MUTEX* thread_mutex_ = nullptr;
  OS_MUTEX* init_mutex_ = nullptr;
  uint32_t count_ = 0;
  // The 1.0 interface's locks, one per CRYPTO_num_locks().
  std::vector<OS_MUTEX*> locks_;
};

}  // namespace Shared::Library::OpenSSL
