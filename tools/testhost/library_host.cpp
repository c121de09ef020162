#include "testhost/library_host.h"

#include <dlfcn.h>

namespace upd::testhost {

LibraryHost::LibraryHost(const std::string& path) {
  // dlopen of an empty name would hand out the program itself.
  if (path.empty()) {
    error_ = "no library named";
    return;
  }
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

}  // namespace upd::testhost
