#include "testhost/library_host.h"

#include <dlfcn.h>

#include <cstdlib>

namespace upd::testhost {

LibraryHost::LibraryHost(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    const char* text = dlerror();
    error_ = text != nullptr ? text : "cannot load " + path;
  }
}

void* LibraryHost::Symbol(const char* name) {
  if (handle_ == nullptr) return nullptr;
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) {
    const char* text = dlerror();
    error_ = text != nullptr ? text : std::string("missing ") + name;
  }
  return symbol;
}

std::string BuiltLibraryPath() {
  const char* path = std::getenv("UPD_LIBRARY");
  return path != nullptr ? path : "";
}

}  // namespace upd::testhost
