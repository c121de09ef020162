#include "platform/store/profile_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_folder.h"
#include "platform/os/os_temp.h"

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
  if (sync && ::fsync(fileno(file->stream)) != 0) return false;
  return OsFileClose(file.release()) == 0;
}

// Targets that must not be replaced by a rename: a descriptor path or a
// device, pipe or similar node.
[[nodiscard]] bool WriteInPlace(const char* path, std::string_view content) {
  FileHandle file(OsFileOpen(path, nullptr, kOsAccessWrite, kOsCreateAlways));
  return file && WriteAndClose(std::move(file), content, false);
}

// The folder part of path: "" for a bare name, "/" for a name at the root.
std::string FolderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return {};
  if (slash == path) return "/";
  return std::string(path, static_cast<size_t>(slash - path));
}

[[nodiscard]] bool ReplaceAtomically(const char* path, const std::string& folder,
                                     std::string_view content, const struct stat* old) {
  char temp[kMaxPath];
  const std::string temp_folder = folder.empty() ? "." : folder;
  if (OsGetTempFileName(kTempPrefix, temp, sizeof(temp), temp_folder.c_str()) != 0) return false;
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
  if (!ok) static_cast<void>(OsFileDelete(temp, nullptr));
  return ok;
}

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
  std::string folder = FolderOf(path);
  if (!folder.empty() && folder != "/" && OsCreateFolderTree(folder.c_str()) != 0) return false;
  if (OsParseFdPath(path) >= 0) return WriteInPlace(path, content);

  struct stat old {};
  if (::lstat(path, &old) != 0) return ReplaceAtomically(path, folder, content, nullptr);
  if (S_ISLNK(old.st_mode)) {
    // Replace the file the link points to and keep the link.
    std::unique_ptr<char, MallocFree> target(::realpath(path, nullptr));
    if (!target || ::stat(target.get(), &old) != 0) return WriteInPlace(path, content);
    if (!S_ISREG(old.st_mode)) return WriteInPlace(path, content);
    return ReplaceAtomically(target.get(), FolderOf(target.get()), content, &old);
  }
  if (!S_ISREG(old.st_mode)) return WriteInPlace(path, content);
  return ReplaceAtomically(path, folder, content, &old);
}
