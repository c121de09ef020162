#pragma once

#include <string>

#include "updater.h"

namespace upd::testhost {

// The library as the host's service process loads it: dlopen of the shared
// library and its exported functions looked up by name. The library stays
// loaded until the process ends, as in the service, so that what it keeps
// for the process is never unmapped under a leak check.
class LibraryHost {
 public:
  explicit LibraryHost(const std::string& path);
  LibraryHost(const LibraryHost&) = delete;
  LibraryHost& operator=(const LibraryHost&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // dlerror's text after a failed load or lookup.
  const std::string& error() const { return error_; }

  // The exported function of that name, or null.
  void* Symbol(const char* name);

  template <typename Function>
  Function Get(const char* name) {
    return reinterpret_cast<Function>(Symbol(name));
  }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace upd::testhost

// An export looked up with the type that updater.h declares for it.
#define UPD_EXPORT(host, name) (host).Get<decltype(&::name)>(#name)
