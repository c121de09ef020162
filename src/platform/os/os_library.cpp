#include "platform/os/os_library.h"

#include <dlfcn.h>
#include <glob.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/os/os_error.h"

namespace {

// Longest library name built from a caller's name.
constexpr size_t kMaxLibraryName = 1023;
// Longest search pattern per folder.
constexpr size_t kMaxSearchPattern = 127;

// Where distributions keep shared libraries, searched in this order when the
// loader's own search does not find a bare name.
constexpr const char* kLibraryFolders[] = {
    "/lib",
    "/usr/lib",
    "/usr/local/lib",
    "/usr/lib32",
    "/lib64",
    "/usr/lib64",
    "/lib/x86_64-linux-gnu",
    "/lib/i386-linux-gnu",
    "/usr/lib/x86_64-linux-gnu",
    "/usr/lib/i386-linux-gnu",
};

std::string_view Extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

// The name as given when it already names a shared object, else "name.so".
std::string LoaderName(const char* name) {
  const std::string_view view(name);
  if (Extension(view) == ".so" || view.find(".so.") != std::string_view::npos) {
    return std::string(view);
  }
  char buffer[kMaxLibraryName + 1];
  std::snprintf(buffer, sizeof buffer, "%s.%s", name, "so");
  return buffer;
}

OS_LIBRARY* Open(const char* path) { return static_cast<OS_LIBRARY*>(dlopen(path, RTLD_LAZY)); }

OS_LIBRARY* SearchFolders(const std::string& name) {
  glob_t found{};
  int flags = 0;
  for (const char* folder : kLibraryFolders) {
    char pattern[kMaxSearchPattern + 1];
    std::snprintf(pattern, sizeof pattern, "%s/%s*", folder, name.c_str());
    const int result = glob(pattern, flags, nullptr, &found);
    if (result == GLOB_NOSPACE) {
      globfree(&found);
      return nullptr;
    }
    if (result == 0) flags = GLOB_APPEND;
  }
  OS_LIBRARY* library = nullptr;
  for (size_t i = 0; flags != 0 && i < found.gl_pathc && library == nullptr; ++i) {
    library = Open(found.gl_pathv[i]);
  }
  if (flags != 0) globfree(&found);
  return library;
}

}  // namespace

OS_LIBRARY* OsLibraryLoad(const char* name, uint32_t flags) {
  if (flags != 0) std::abort();
  if (name == nullptr) {
    OsSetOwnError(kOsInvalidArgument);
    return nullptr;
  }
  if (Extension(name) == ".dll") {
    OsSetOwnError(kOsLibraryNotFound);
    return nullptr;
  }
  const std::string loader_name = LoaderName(name);
  OS_LIBRARY* library = Open(loader_name.c_str());
  if (library == nullptr && name[0] != '/') library = SearchFolders(loader_name);
  if (library == nullptr) OsSetOwnError(kOsLibraryNotFound);
  return library;
}

void* OsLibrarySymbol(OS_LIBRARY* library, const char* symbol_name) {
  if (library == nullptr || symbol_name == nullptr) {
    OsSetOwnError(kOsInvalidArgument);
    return nullptr;
  }
  return dlsym(library, symbol_name);
}

void OsLibraryUnload(OS_LIBRARY* library) {
  if (library == nullptr) return;
  if (dlclose(library) == 0) return;
  const char* reason = dlerror();
  std::fprintf(stderr, "Problem %s: ", reason != nullptr ? reason : "is not known");
  std::abort();
}
