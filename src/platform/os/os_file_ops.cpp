#include "platform/os/os_file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/os/os_durable.h"
#include "platform/os/os_error.h"
#include "platform/os/os_file_info.h"

namespace {

// Blocks in which a cut moves the tail of a file down.
constexpr size_t kCutBlock = 2048;
// Blocks of a stream copy.
constexpr size_t kCopyBlock = 8192;

bool IsFdPath(const char* path) { return OsParseFdPath(path) >= 0; }

bool NamesStream(const OS_ATTRIBUTE_LIST* attributes) {
  return OsAttributeListHas(attributes, kOsAttributeStreamName) != 0;
}

int Fail(int error_number) {
  OsSetErrnoError(error_number);
  return -1;
}

// A short transfer without an error of its own is reported as an I/O error.
bool Whole(int64_t done, size_t wanted) {
  if (done == static_cast<int64_t>(wanted)) return true;
  if (done >= 0) OsSetOwnError(kOsIoError);
  return false;
}

bool WriteAll(OS_FILE* to, const unsigned char* data, size_t n) {
  while (n > 0) {
    const int64_t put = OsFileWrite(to, data, n);
    if (put <= 0) {
      if (put == 0) OsSetOwnError(kOsIoError);
      return false;
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

// Rename that refuses an existing target in one step where the file system
// allows it, so that no file appearing meanwhile is replaced.
int RenameNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return Fail(errno);
  if (access(to, F_OK) == 0) return Fail(EEXIST);
  return rename(from, to) == 0 ? 0 : Fail(errno);
}


int CopyInto(OS_FILE* source, OS_FILE* target, bool append) {
  if (append) {
    const int64_t source_size = OsFileGetSize(source);
    const int64_t target_size = OsFileGetSize(target);
    if (source_size < 0 || target_size < 0) return -1;
    if (OsFileTruncate(target, static_cast<uint64_t>(target_size + source_size)) != 0) return -1;
    if (OsFileSeek(target, target_size, 0) < 0) return -1;
  }
  return OsFileCopyStream(source, target, kOsCopyToEnd) < 0 ? -1 : 0;
}

void CopyMetadata(const char* from, const char* to) {
  OS_FILE_METADATA metadata{};
  uint32_t size = sizeof metadata;
  if (OsGetFileMetadata(from, nullptr, &metadata, &size) != 0) return;
  [[maybe_unused]] const int ignored = OsSetFileMetadata(to, nullptr, &metadata, size);
}

}  // namespace

int OsFileDelete(const char* path, const OS_ATTRIBUTE_LIST* attributes) {
  if (path == nullptr) return Fail(EFAULT);
  if (NamesStream(attributes)) {
    OsSetOwnError(kOsFailure);
    return -1;
  }
  const int fd = OsParseFdPath(path);
  if (fd >= 0) return ftruncate64(fd, 0) == 0 ? 0 : Fail(errno);
  if (*path == 0) return Fail(EPERM);
  return unlink(path) == 0 ? 0 : Fail(errno);
}

int OsFileRename(const char* from, const OS_ATTRIBUTE_LIST* from_attributes, const char* to,
                 const OS_ATTRIBUTE_LIST*, uint32_t flags) {
  if (from == nullptr || to == nullptr) return Fail(EFAULT);
  if (IsFdPath(from) || IsFdPath(to)) return Fail(EXDEV);
  if (NamesStream(from_attributes)) return Fail(EPERM);
  if ((flags & kOsRenameOverwrite) == 0) return RenameNoReplace(from, to);
  return rename(from, to) == 0 ? 0 : Fail(errno);
}

int OsFileLink(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return Fail(EFAULT);
  if (IsFdPath(from) || IsFdPath(to)) return Fail(EXDEV);
  return link(from, to) == 0 ? 0 : Fail(errno);
}

int OsFileSetMode(const char* path, uint32_t mode) {
  if (path == nullptr) return Fail(EFAULT);
  return chmod(path, static_cast<mode_t>(mode)) == 0 ? 0 : Fail(errno);
}

int OsCopyFileEx(const char* from, const OS_ATTRIBUTE_LIST*, const char* to,
                 const OS_ATTRIBUTE_LIST*, uint32_t flags) {
  if (from == nullptr || to == nullptr) return Fail(EFAULT);
  OS_FILE* source = OsFileOpen(from, nullptr, kOsAccessRead, kOsOpenExisting);
  if (source == nullptr) return -1;
  // Copying a file onto itself would empty it (or grow it without end when
  // appending).
  if (OsFileIsAtPath(source, to)) {
    OsFileClose(source);
    return Fail(EINVAL);
  }
  const bool append = (flags & kOsCopyAppend) != 0;
  const uint32_t disposition =
      append ? kOsOpenExisting : ((flags & kOsCopyOverwrite) != 0 ? kOsCreateAlways : kOsCreateNew);
  OS_FILE* target = OsFileOpen(to, nullptr, kOsAccessWrite, disposition);
  if (target == nullptr) {
    OsFileClose(source);
    return -1;
  }
  int result = CopyInto(source, target, append);
  if (result == 0 && (flags & kOsCopySync) != 0) result = OsFileSync(target);
  if (OsFileClose(target) != 0) result = -1;
  OsFileClose(source);
  CopyMetadata(from, to);
  return result;
}

int OsFileCopy(const char* from, const OS_ATTRIBUTE_LIST* from_attributes, const char* to,
               const OS_ATTRIBUTE_LIST* to_attributes, uint32_t flags) {
  return OsCopyFileEx(from, from_attributes, to, to_attributes, flags);
}

int64_t OsFileCutRange(OS_FILE* file, uint64_t offset, uint64_t n) {
  if (n == 0) return 0;
  uint64_t size = 0;
  if (OsFileGetInfoByHandle(file, nullptr, &size, nullptr) != 0) return -1;
  if (offset > size || n > size - offset) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  std::vector<unsigned char> block(kCutBlock);
  uint64_t remaining = size - offset - n;
  uint64_t write_at = offset;
  while (remaining > 0) {
    const size_t chunk = remaining < kCutBlock ? static_cast<size_t>(remaining) : kCutBlock;
    if (OsFileSeek(file, static_cast<int64_t>(size - remaining), 0) < 0) return -1;
    if (!Whole(OsFileReadFully(file, block.data(), chunk), chunk)) return -1;
    if (OsFileSeek(file, static_cast<int64_t>(write_at), 0) < 0) return -1;
    if (!Whole(OsFileWrite(file, block.data(), chunk), chunk)) return -1;
    write_at += chunk;
    remaining -= chunk;
  }
  if (OsFileTruncate(file, size - n) != 0) return -1;
  return static_cast<int64_t>(n);
}

int64_t OsFileCopyStream(OS_FILE* from, OS_FILE* to, uint64_t limit) {
  std::vector<unsigned char> block(kCopyBlock);
  uint64_t total = 0;
  while (total < limit) {
    // A finite limit is never overshot.
    const uint64_t left = limit - total;
    const size_t want = left < kCopyBlock ? static_cast<size_t>(left) : kCopyBlock;
    const int64_t got = OsFileRead(from, block.data(), want);
    if (got < 0) return -1;
    if (got == 0) break;
    if (!WriteAll(to, block.data(), static_cast<size_t>(got))) return -1;
    total += static_cast<uint64_t>(got);
  }
  return static_cast<int64_t>(total);
}
