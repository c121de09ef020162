#include "net/tls/openssl_instance.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "net/tls/openssl_build_id.h"
#include "platform/os/os_time.h"

namespace Shared::Library::OpenSSL {
namespace {

std::atomic<ThreadStateClock> g_clock{&OsTime};

// The instance the locking callback serves; it may run on any thread.
std::atomic<Initializer::InstanceImpl*> g_live{nullptr};

std::shared_ptr<Initializer::InstanceImpl>& InstanceSlot() {
  static std::shared_ptr<Initializer::InstanceImpl> _instance;
  return _instance;
}

// A libcrypto name that libssl reaches through its own dependency.
constexpr const char* kCryptoProbeName = "ERR_get_error";

// libssl resolves libcrypto's names through the libcrypto it was built
// against. When the library search found a libcrypto of another version
// first, that is not the one just loaded, and the pair would mix two
// versions' objects.
bool SslUsesThisCrypto(OS_LIBRARY* crypto, OS_LIBRARY* ssl) {
  void* own = OsLibrarySymbol(crypto, kCryptoProbeName);
  return own == nullptr || OsLibrarySymbol(ssl, kCryptoProbeName) == own;
}

}  // namespace

void SetThreadStateClock(ThreadStateClock clock) {
  g_clock.store(clock != nullptr ? clock : &OsTime);
}

Initializer::InstanceImpl::~InstanceImpl() {
  DestroyLockArray();
  OsMutexDestroy(thread_mutex_);
  OsMutexDestroy(init_mutex_);
  InstanceImpl* self = this;
  g_live.compare_exchange_strong(self, nullptr);
}

int Initializer::InstanceImpl::Create(void*) {
  std::shared_ptr<InstanceImpl> instance;
  try {
    instance.reset(new InstanceImpl);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  instance->thread_mutex_ = OsMutexCreate();
  instance->init_mutex_ = OsMutexCreate();
  if (instance->thread_mutex_ == nullptr || instance->init_mutex_ == nullptr) return 1;
  g_live.store(instance.get(), std::memory_order_release);
  InstanceSlot() = std::move(instance);
  return 0;
}

std::shared_ptr<Initializer::InstanceImpl> Initializer::InstanceImpl::Instance() {
  static OS_LAZY_INIT made = {false, &Create, nullptr, nullptr};
  if (OsLazyInitOnce(&made) != 0) return nullptr;
  return InstanceSlot();
}

LoaderCode Initializer::InstanceImpl::Initialize(Initializer& target,
                                                 const HostMemoryFunctions& memory) {
  target.Release();
  if (BoundOpenSslSharedBuildId() != kOpenSslSharedBuildId) return kLoaderBuildMismatch;
  std::shared_ptr<InstanceImpl> instance = Instance();
  if (instance == nullptr) return kLoaderNoMemory;
  OsMutexLock(instance->init_mutex_);
  if (instance->count_++ == 0) {
    const LoaderCode code = instance->FirstInitialize(memory);
    if (code != kLoaderOk) {
      instance->Unload();
      --instance->count_;
      OsMutexUnlock(instance->init_mutex_);
      return code;
    }
  }
  OsMutexUnlock(instance->init_mutex_);
  target.instance_ = std::move(instance);
  return kLoaderOk;
}

void Initializer::InstanceImpl::Release() {
  OsMutexLock(init_mutex_);
  if (count_ > 0 && --count_ == 0) Unload();
  OsMutexUnlock(init_mutex_);
}

LoaderCode Initializer::InstanceImpl::LoadLibraries() {
  OsLibraryUnload(crypto_library_);
  crypto_library_ = OsLibraryLoad("libcrypto", 0);
  OsLibraryUnload(ssl_library_);
  ssl_library_ = OsLibraryLoad("libssl", 0);
  if (crypto_library_ == nullptr || ssl_library_ == nullptr) return kLoaderLibraryMissing;
  if (!SslUsesThisCrypto(crypto_library_, ssl_library_)) return kLoaderLibraryMissing;
  return kLoaderOk;
}

LoaderCode Initializer::InstanceImpl::FirstInitialize(const HostMemoryFunctions& memory) {
  if (const LoaderCode code = LoadLibraries(); code != kLoaderOk) return code;
  if (!LoadFunctions()) return kLoaderFunctionMissing;
  if (memory.Complete() && table_->CRYPTO_set_mem_functions != nullptr &&
      !InstallMemoryHooks(*table_, memory)) {
    return kLoaderInitFailed;
  }
  return new_api_ ? kLoaderOk : InitializeOldApi();
}

bool Initializer::InstanceImpl::LoadFunctions() {
  bool new_api = false;
  std::unique_ptr<OpenSslFunctionTable> table =
      ResolveOpenSslFunctions(crypto_library_, ssl_library_, new_api);
  if (table == nullptr) return false;
  table_ = std::move(table);
  new_api_ = new_api;
  return true;
}

LoaderCode Initializer::InstanceImpl::InitializeOldApi() {
  if (table_->SSL_library_init() != 1) return kLoaderInitFailed;
  table_->SSL_load_error_strings();
  table_->add_all_algorithms();
  if (!MakeLockArray(table_->CRYPTO_num_locks())) return kLoaderInitFailed;
  table_->CRYPTO_set_id_callback(&id_callback);
  table_->CRYPTO_set_locking_callback(&lock_callback);
  return kLoaderOk;
}

bool Initializer::InstanceImpl::MakeLockArray(int count) {
  std::vector<OS_MUTEX*> locks;
  try {
    locks.reserve(count > 0 ? static_cast<size_t>(count) : 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int i = 0; i < count; ++i) {
    OS_MUTEX* mutex = OsMutexCreate();
    if (mutex == nullptr) {
      for (OS_MUTEX* made : locks) OsMutexDestroy(made);
      return false;
    }
    locks.push_back(mutex);
  }
  DestroyLockArray();
  locks_ = std::move(locks);
  return true;
}

void Initializer::InstanceImpl::DestroyLockArray() {
  for (OS_MUTEX* mutex : locks_) OsMutexDestroy(mutex);
  locks_.clear();
}

void Initializer::InstanceImpl::Unload() {
  PurgeThreadStates(true);
  table_.reset();
  new_api_ = false;
  OsLibraryUnload(ssl_library_);
  ssl_library_ = nullptr;
  OsLibraryUnload(crypto_library_);
  crypto_library_ = nullptr;
}

bool Initializer::InstanceImpl::TracksThreads() const {
  return table_ != nullptr && table_->CRYPTO_THREADID_current != nullptr &&
         table_->CRYPTO_THREADID_hash != nullptr && table_->ERR_remove_thread_state != nullptr;
}

void Initializer::InstanceImpl::TouchThreadState() {
  if (!TracksThreads()) return;
  CRYPTO_THREADID id{};
  table_->CRYPTO_THREADID_current(&id);
  const unsigned long key = table_->CRYPTO_THREADID_hash(&id);
  const int64_t now = g_clock.load()();
  OsMutexLock(thread_mutex_);
  try {
    threads_.insert_or_assign(key, ThreadUse{id, now});
  } catch (const std::bad_alloc&) {
    // The thread stays unrecorded; OpenSSL keeps its error state until exit.
  }
  OsMutexUnlock(thread_mutex_);
}

void Initializer::InstanceImpl::PurgeThreadStates(bool all) {
  if (!TracksThreads()) return;
  const int64_t now = g_clock.load()();
  OsMutexLock(thread_mutex_);
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (all || now - it->second.last_use >= kThreadStateIdleSeconds) {
      table_->ERR_remove_thread_state(&it->second.id);
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
  OsMutexUnlock(thread_mutex_);
}

unsigned long Initializer::InstanceImpl::id_callback() {
  return static_cast<unsigned long>(pthread_self());
}

void Initializer::InstanceImpl::lock_callback(int mode, int n, const char*, int) {
  // Installed only by an initialisation, so an instance exists whenever
  // OpenSSL can call here.
  InstanceImpl* instance = g_live.load(std::memory_order_acquire);
  if (instance == nullptr) return;
  if (n < 0 || static_cast<size_t>(n) >= instance->locks_.size()) std::abort();
  if ((mode & openssl::kCryptoLock) != 0) {
    OsMutexLock(instance->locks_[static_cast<size_t>(n)]);
  } else {
    OsMutexUnlock(instance->locks_[static_cast<size_t>(n)]);
  }
}

Initializer::~Initializer() { Release(); }

LoaderCode Initializer::Initialize(const HostMemoryFunctions& memory) {
  return InstanceImpl::Initialize(*this, memory);
}

void Initializer::Release() {
  if (instance_ == nullptr) return;
  instance_->Release();
  instance_.reset();
}

OS_LIBRARY* Initializer::SslLibrary() const {
  return instance_ != nullptr ? instance_->ssl_library() : nullptr;
}

OS_LIBRARY* Initializer::CryptoLibrary() const {
  return instance_ != nullptr ? instance_->crypto_library() : nullptr;
}

const OpenSslFunctionTable* Initializer::Functions() const {
  return instance_ != nullptr ? instance_->table() : nullptr;
}

bool Initializer::UsesNewApi() const { return instance_ != nullptr && instance_->new_api(); }

void Initializer::TouchThreadState() const {
  if (instance_ != nullptr) instance_->TouchThreadState();
}

void Initializer::PurgeThreadStates(bool all) const {
  if (instance_ != nullptr) instance_->PurgeThreadStates(all);
}

}  // namespace Shared::Library::OpenSSL

using Shared::Library::OpenSSL::Initializer;

Shared::Library::OpenSSL::LoaderCode CreateOpenSslInitializer(
    Initializer** out, Shared::Library::OpenSSL::HostAllocate allocate,
    Shared::Library::OpenSSL::HostReallocate reallocate, Shared::Library::OpenSSL::HostFree free) {
  auto* initializer = new (std::nothrow) Initializer;
  if (initializer == nullptr) return Shared::Library::OpenSSL::kLoaderNoMemory;
  const Shared::Library::OpenSSL::LoaderCode code =
      initializer->Initialize({allocate, reallocate, free});
  if (code != Shared::Library::OpenSSL::kLoaderOk) {
    delete initializer;
    return code;
  }
  OsSslReleaseInitializer(*out);
  *out = initializer;
  return code;
}

void OsSslReleaseInitializer(Initializer* initializer) {
  if (initializer == nullptr) return;
  initializer->Release();
  delete initializer;
}
