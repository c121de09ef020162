#include "platform/util/replace_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/os/os_durable.h"
#include "platform/os/os_file.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_path.h"
#include "platform/os/os_temp.h"

namespace {

// Paths are copied into buffers of this size, as everywhere in the layer.
constexpr size_t kMaxPath = 4096;

struct FileCloser {
  void operator()(OS_FILE* file) const { static_cast<void>(OsFileClose(file)); }
};
using FileHandle = std::unique_ptr<OS_FILE, FileCloser>;

struct MallocFree {
  void operator()(char* p) const { std::free(p); }
};

[[nodiscard]] bool WriteAll(OS_FILE* file, std::string_view content) {
  while (!content.empty()) {
    const int64_t n = OsFileWrite(file, content.data(), content.size());
    if (n <= 0) return false;
    content.remove_prefix(static_cast<size_t>(n));
  }
  return OsFileFlush(file) == 0;
}

// Writes, flushes and closes; every step is checked.
[[nodiscard]] bool WriteAndClose(FileHandle file, std::string_view content, bool sync) {
  if (!WriteAll(file.get(), content)) return false;
  // The data must be on disk before a rename makes it the file's content.
  if (sync && OsFileSync(file.get()) != 0) return false;
  return OsFileClose(file.release()) == 0;
}

[[nodiscard]] bool WriteInPlace(const char* path, std::string_view content, bool lock) {
  const uint32_t access = kOsAccessWrite | (lock ? kOsAccessLock : 0);
  FileHandle file(OsFileOpen(path, nullptr, access, kOsCreateAlways));
  return file && WriteAndClose(std::move(file), content, false);
}

// The folder part of path: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return ".";
  if (slash == path) return "/";
  return std::string(path, static_cast<size_t>(slash - path));
}

// The replacement of an existing file keeps its mode and, where the process
// may give files away, its owner, as rewriting it in place would.
[[nodiscard]] bool ReplaceAtomically(const char* path, std::string_view content,
                                     const char* temp_prefix, const struct stat* old) {
  char temp[kMaxPath];
  if (OsGetTempFileName(temp_prefix, temp, sizeof(temp), FolderOf(path).c_str()) != 0) {
    return false;
  }
  FileHandle file(OsFileOpen(temp, nullptr, kOsAccessWrite, kOsCreateAlways));
  bool ok = file != nullptr;
  if (ok && old != nullptr) {
    const int fd = fileno(file->stream);
    ok = ::fchmod(fd, old->st_mode & 07777) == 0;
    // Only root can hand a file to another owner; failing that is harmless.
    if (ok) static_cast<void>(::fchown(fd, old->st_uid, old->st_gid));
  }
  ok = ok && WriteAndClose(std::move(file), content, true) &&
       OsFileRename(temp, nullptr, path, nullptr, kOsRenameOverwrite) == 0;
  if (!ok) {
    static_cast<void>(OsFileDelete(temp, nullptr));
    return false;
  }
  // The new name must outlast a power cut as the content does.
  return OsSyncFolderOf(path) == 0;
}

}  // namespace

bool ReplaceFileContent(const char* path, std::string_view content, const char* temp_prefix,
                        bool lock) {
  if (path == nullptr || *path == '\0' || std::strlen(path) >= kMaxPath) return false;
  if (OsParseFdPath(path) >= 0) return WriteInPlace(path, content, lock);
  struct stat old {};
  if (::lstat(path, &old) != 0) return ReplaceAtomically(path, content, temp_prefix, nullptr);
  if (S_ISLNK(old.st_mode)) {
    std::unique_ptr<char, MallocFree> target(::realpath(path, nullptr));
    if (!target || ::stat(target.get(), &old) != 0 || !S_ISREG(old.st_mode)) {
      return WriteInPlace(path, content, lock);
    }
    return ReplaceAtomically(target.get(), content, temp_prefix, &old);
  }
  if (!S_ISREG(old.st_mode)) return WriteInPlace(path, content, lock);
  return ReplaceAtomically(path, content, temp_prefix, &old);
}
