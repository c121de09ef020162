#include "platform/os/os_durable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/os/os_error.h"
#include "platform/os/os_file_ops.h"

namespace {

int Fail(int error_number) {
  OsSetErrnoError(error_number);
  return -1;
}

// fsync, not fdatasync: a new file's size is metadata, and an empty file
// after the cut is exactly what the flush is there to prevent. Some file
// systems cannot flush a folder at all (EINVAL for a folder); nothing more
// can be done there, and the step must not fail for it.
int SyncDescriptor(int fd, bool folder) {
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    if (folder && errno == EINVAL) return 0;
    return Fail(errno);
  }
  return 0;
}

int SyncPath(const char* path, bool folder) {
  if (path == nullptr) return Fail(EFAULT);
  // A descriptor path is the caller's own open file, not a name to flush.
  if (OsParseFdPath(path) >= 0) return Fail(EINVAL);
  // A link is followed: the data that must reach the disk is its target's.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
  if (fd < 0) return Fail(errno);
  const int result = SyncDescriptor(fd, folder);
  ::close(fd);
  return result;
}

std::string FolderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return ".";
  if (slash == path) return "/";
  return std::string(path, static_cast<size_t>(slash - path));
}

}  // namespace

int OsFileSync(OS_FILE* file) {
  if (file == nullptr || file->stream == nullptr) return Fail(EFAULT);
  if (OsFileFlush(file) != 0) return -1;
  return SyncDescriptor(fileno(file->stream), false);
}

int OsSyncFile(const char* path) { return SyncPath(path, false); }

int OsSyncFolder(const char* folder) { return SyncPath(folder, true); }

int OsSyncFolderOf(const char* path) {
  if (path == nullptr) return Fail(EFAULT);
  return OsSyncFolder(FolderOf(path).c_str());
}

int OsFileRenameDurable(const char* from, const char* to, bool overwrite) {
  if (OsSyncFile(from) != 0) return -1;
  if (OsFileRename(from, nullptr, to, nullptr, overwrite ? kOsRenameOverwrite : 0) != 0) return -1;
  return OsSyncFolderOf(to);
}
