#pragma once

#include <cstdint>

#include "net/tls/openssl_function_table.h"
#include "updater.h"

namespace Shared::Library::OpenSSL {

// The host's optional memory functions for OpenSSL (Microsoft x64 convention).
using HostAllocate = void*(UPD_MSABI*)(uint64_t byte_count);
using HostReallocate = void*(UPD_MSABI*)(void* block, uint64_t byte_count);
using HostFree = void(UPD_MSABI*)(void* block);

struct HostMemoryFunctions {
  HostAllocate allocate = nullptr;
  HostReallocate reallocate = nullptr;
  HostFree free = nullptr;

  bool Complete() const { return allocate != nullptr && reallocate != nullptr && free != nullptr; }
};

// Hands the host functions to OpenSSL through System V shims. False when
// OpenSSL refuses them; the functions installed before then stay in use,
// since OpenSSL may still hold blocks they allocated.
[[nodiscard]] bool InstallMemoryHooks(const OpenSslFunctionTable& table,
                                      const HostMemoryFunctions& host);

}  // namespace Shared::Library::OpenSSL
