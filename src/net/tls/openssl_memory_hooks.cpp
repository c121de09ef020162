#include "net/tls/openssl_memory_hooks.h"

#include <atomic>

namespace Shared::Library::OpenSSL {
namespace {

std::atomic<HostAllocate> g_allocate{nullptr};
std::atomic<HostReallocate> g_reallocate{nullptr};
std::atomic<HostFree> g_free{nullptr};

// OpenSSL passes the caller's file and line; the host takes only the block
// and the size.
void* AllocateShim(size_t size, const char*, int) {
  return g_allocate.load(std::memory_order_acquire)(size);
}

void* ReallocateShim(void* block, size_t size, const char*, int) {
  return g_reallocate.load(std::memory_order_acquire)(block, size);
}

void FreeShim(void* block, const char*, int) { g_free.load(std::memory_order_acquire)(block); }

}  // namespace

bool InstallMemoryHooks(const OpenSslFunctionTable& table, const HostMemoryFunctions& host) {
  const HostAllocate old_allocate = g_allocate.exchange(host.allocate);
  const HostReallocate old_reallocate = g_reallocate.exchange(host.reallocate);
  const HostFree old_free = g_free.exchange(host.free);
  if (table.CRYPTO_set_mem_functions(&AllocateShim, &ReallocateShim, &FreeShim) == 1) return true;
  g_allocate.store(old_allocate);
  g_reallocate.store(old_reallocate);
  g_free.store(old_free);
  return false;
}

}  // namespace Shared::Library::OpenSSL
