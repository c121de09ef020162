#include "platform/store/profile_io.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_folder.h"
#include "platform/util/replace_file.h"

namespace {

// Paths are copied into buffers of this size, as everywhere in the layer.
constexpr size_t kMaxPath = 4096;
// Temporary files start with '.', so that folder searches by pattern skip a
// file left behind by a crash.
constexpr const char* kTempPrefix = ".ini-save";

struct FileCloser {
  void operator()(OS_FILE* file) const { static_cast<void>(OsFileClose(file)); }
};
using FileHandle = std::unique_ptr<OS_FILE, FileCloser>;

}  // namespace

bool ProfileReadFile(const char* path, ProfileBytes* out) {
  FileHandle file(OsFileOpen(path, nullptr, kOsAccessRead, kOsOpenExisting));
  if (!file) return false;
  const int64_t size = OsFileGetSize(file.get());
  if (size < 0 || static_cast<uint64_t>(size) >= SIZE_MAX) return false;
  const auto n = static_cast<size_t>(size);
  std::unique_ptr<char[]> data(new (std::nothrow) char[n + 1]);
  if (!data) return false;
  if (OsFileReadFully(file.get(), data.get(), n) != size) return false;
  data[n] = '\0';
  out->data = std::move(data);
  out->size = n;
  return true;
}

bool ProfileWriteFile(const char* path, std::string_view content) {
  if (path == nullptr || *path == '\0' || std::strlen(path) >= kMaxPath) return false;
  const char* slash = std::strrchr(path, '/');
  if (slash != nullptr && slash != path) {
    const std::string folder(path, static_cast<size_t>(slash - path));
    if (OsCreateFolderTree(folder.c_str()) != 0) return false;
  }
  return ReplaceFileContent(path, content, kTempPrefix, false);
}
