#pragma once

#include <cstdint>

// The build number of this OpenSSL loader. Every module of a process that
// carries the loader exports OpenSSLSharedBuildId; the loader initialises only
// when the definition the process binds answers this number, so a second,
// different copy of the loader in the process is noticed (loader code 5000).
inline constexpr uint32_t kOpenSslSharedBuildId = 65050631;

extern "C" __attribute__((visibility("default"))) uint32_t OpenSSLSharedBuildId();

// What OpenSSLSharedBuildId answers through the process's dynamic binding:
// another module's definition when one comes first in the lookup order.
uint32_t BoundOpenSslSharedBuildId();
