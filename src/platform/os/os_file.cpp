#include "platform/os/os_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/os/os_error.h"
#include "platform/os/os_time.h"

namespace {

// Access bits that do not take part in the access value.
constexpr uint32_t kAccessIgnoredBits = 0x30 | 0x1FFF0000;
// Lock retry step for short waits; longer waits retry five times.
constexpr uint32_t kLockRetryStepMs = 200;
constexpr uint32_t kLockRetryTimeoutSplit = 1000;

struct OpenRequest {
  int flags = 0;
  bool lock = false;
  bool unbuffered = false;
  bool read = false;
  bool write = false;
  const char* stream_mode = "r";
  std::string stream_name;
};

bool ParseAccess(uint32_t access, OpenRequest* request) {
  request->lock = (access & kOsAccessLock) != 0;
  request->unbuffered = (access & kOsAccessUnbuffered) != 0;
  if ((access & kOsAccessNoFollow) != 0) request->flags |= O_NOFOLLOW;
  switch (access & ~(kOsAccessLock | kAccessIgnoredBits)) {
    case 0:
    case kOsAccessRead:
      request->flags |= O_RDONLY;
      request->read = true;
      request->stream_mode = "r";
      return true;
    case kOsAccessWrite:
      request->flags |= O_WRONLY;
      request->write = true;
      request->stream_mode = "w";
      return true;
    case kOsAccessReadWrite:
      request->flags |= O_RDWR;
      request->read = request->write = true;
      request->stream_mode = "r+";
      return true;
    default:
      return false;
  }
}

bool ParseDisposition(uint32_t disposition, OpenRequest* request) {
  switch (disposition) {
    case kOsCreateNew:
      request->flags |= O_CREAT | O_EXCL | O_TRUNC;
      return true;
    case kOsCreateAlways:
      request->flags |= O_CREAT | O_TRUNC;
      return true;
    case kOsOpenExisting:
      return true;
    case kOsOpenAlways:
      request->flags |= O_CREAT;
      return true;
    case kOsTruncateExisting:
      request->flags |= O_TRUNC;
      return true;
    default:
      return false;
  }
}

void KeepStreamName(const OS_ATTRIBUTE_LIST* attributes, OpenRequest* request) {
  const void* data = nullptr;
  uint32_t length = 0;
  if (OsAttributeListFind(attributes, kOsAttributeStreamName, &data, &length) != 0) return;
  const auto* text = static_cast<const char*>(data);
  request->stream_name.assign(text, strnlen(text, length));
  request->flags &= ~(O_TRUNC | O_EXCL);
}

// A "/dev/fd/N" path works on a duplicate of N, when N allows what is asked.
int DuplicateDescriptor(int n, const OpenRequest& request) {
  const int status = fcntl(n, F_GETFL);
  const int mode = status & O_ACCMODE;
  const bool fits = status != -1 && !(request.read && mode == O_WRONLY) &&
                    !(request.write && (mode == O_RDONLY || (status & O_APPEND) != 0));
  if (!fits) {
    OsSetErrnoError(EACCES);
    return -1;
  }
  if ((request.flags & O_TRUNC) != 0 && ftruncate64(n, 0) != 0) {
    OsSetErrnoError(errno);
    return -1;
  }
  const int fd = (lseek64(n, 0, SEEK_SET) == -1) ? -1 : fcntl(n, F_DUPFD_CLOEXEC, 0);
  if (fd == -1) OsSetErrnoError(errno);
  return fd;
}

// 0 when the lock is held, 1 when it is busy, -1 on another failure.
int TryLock(int fd, const OpenRequest& request) {
  if (flock(fd, (request.write ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return 0;
  if (errno == EWOULDBLOCK) return 1;
  OsSetErrnoError(errno);
  return -1;
}

bool WaitForLock(int fd, const OpenRequest& request, bool wait, uint32_t timeout_ms) {
  const uint32_t step = timeout_ms >= kLockRetryTimeoutSplit ? timeout_ms / 5 : kLockRetryStepMs;
  int64_t remaining = wait ? timeout_ms : 0;
  for (;;) {
    const int result = TryLock(fd, request);
    if (result == 0) return true;
    if (result < 0) return false;
    if (remaining < 1) {
      OsSetOwnError(kOsTimedOut);
      return false;
    }
    OsSleep(static_cast<uint32_t>(remaining < step ? remaining : step));
    remaining -= step;
  }
}

// Opens the path itself. The truncation of a locked open waits for the lock,
// so that a refused lock leaves the holder's content alone.
int OpenPath(const char* path, const OpenRequest& request, bool wait, uint32_t timeout_ms) {
  const bool truncate_after_lock = request.lock && (request.flags & O_TRUNC) != 0;
  const int flags = (truncate_after_lock ? request.flags & ~O_TRUNC : request.flags) | O_CLOEXEC;
  const int fd = open(path, flags, 0600);
  if (fd == -1) {
    OsSetErrnoError(errno);
    return -1;
  }
  if (!request.lock) return fd;
  if (!WaitForLock(fd, request, wait, timeout_ms)) {
    close(fd);
    return -1;
  }
  // A read-only descriptor cannot be truncated; the path can, as open would have.
  if (truncate_after_lock && (request.write ? ftruncate64(fd, 0) : truncate64(path, 0)) != 0) {
    OsSetErrnoError(errno);
    close(fd);
    return -1;
  }
  return fd;
}

OS_FILE* Wrap(int fd, const OpenRequest& request) {
  FILE* stream = fdopen(fd, request.stream_mode);
  if (stream == nullptr) {
    OsSetErrnoError(errno);
    close(fd);
    return nullptr;
  }
  auto* file = new (std::nothrow) OS_FILE;
  if (file == nullptr) {
    OsSetOwnError(kOsNoMemory);
    fclose(stream);
    return nullptr;
  }
  file->stream = stream;
  file->stream_name = request.stream_name;
  if (request.unbuffered) {
    file->flags = kOsFileUnbuffered;
    if (setvbuf(stream, nullptr, _IONBF, 0) != 0) {
      OsSetErrnoError(errno);
      OsFileClose(file);
      return nullptr;
    }
  }
  return file;
}

OS_FILE* Open(const char* path, const OS_ATTRIBUTE_LIST* attributes, uint32_t access,
              uint32_t disposition, bool wait, uint32_t timeout_ms) {
  OpenRequest request;
  if (path == nullptr || !ParseAccess(access, &request) ||
      !ParseDisposition(disposition, &request)) {
    OsSetOwnError(kOsInvalidArgument);
    return nullptr;
  }
  KeepStreamName(attributes, &request);
  const int n = OsParseFdPath(path);
  const int fd =
      n >= 0 ? DuplicateDescriptor(n, request) : OpenPath(path, request, wait, timeout_ms);
  return fd == -1 ? nullptr : Wrap(fd, request);
}

bool RefuseNamedStream(const OS_FILE* file) {
  if (file->stream_name.empty()) return false;
  OsSetOwnError(kOsFailure);
  return true;
}

// stdio needs a positioning call between a write and a read.
void SwitchDirection(OS_FILE* file, uint32_t next) {
  if (file->last_op != kOsFileOpNone && file->last_op != next) fseeko64(file->stream, 0, SEEK_CUR);
  file->last_op = next;
}

}  // namespace

OS_FILE* OsFileOpen(const char* path, const OS_ATTRIBUTE_LIST* attributes, uint32_t access,
                    uint32_t disposition) {
  return Open(path, attributes, access, disposition, false, 0);
}

OS_FILE* OsFileOpenWait(const char* path, const OS_ATTRIBUTE_LIST* attributes, uint32_t access,
                        uint32_t disposition, uint32_t timeout_ms) {
  return Open(path, attributes, access, disposition, true, timeout_ms);
}

int64_t OsFileRead(OS_FILE* file, void* buffer, size_t n) {
  if (RefuseNamedStream(file)) return -1;
  flockfile(file->stream);
  SwitchDirection(file, kOsFileOpRead);
  const size_t got = fread_unlocked(buffer, 1, n, file->stream);
  const bool failed = got == 0 && n > 0 && ferror_unlocked(file->stream) != 0;
  const int error = errno;
  funlockfile(file->stream);
  if (failed) {
    OsSetErrnoError(error);
    return -1;
  }
  return static_cast<int64_t>(got);
}

int64_t OsFileReadFully(OS_FILE* file, void* buffer, size_t n) {
  auto* out = static_cast<unsigned char*>(buffer);
  size_t total = 0;
  while (total < n) {
    const int64_t got = OsFileRead(file, out + total, n - total);
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(total);
}

int64_t OsFileWrite(OS_FILE* file, const void* data, size_t n) {
  if (RefuseNamedStream(file)) return -1;
  flockfile(file->stream);
  SwitchDirection(file, kOsFileOpWrite);
  const size_t put = fwrite_unlocked(data, 1, n, file->stream);
  const bool failed = put < n && ferror_unlocked(file->stream) != 0;
  const int error = errno;
  funlockfile(file->stream);
  if (failed) {
    OsSetErrnoError(error);
    return -1;
  }
  return static_cast<int64_t>(put);
}

int OsFileFlush(OS_FILE* file) {
  file->last_op = kOsFileOpNone;
  if (fflush(file->stream) == 0) return 0;
  OsSetErrnoError(errno);
  return -1;
}

int64_t OsFileSeek(OS_FILE* file, int64_t offset, int origin) {
  if (RefuseNamedStream(file)) return -1;
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  file->last_op = kOsFileOpNone;
  if (fseeko64(file->stream, offset, kWhence[origin]) != 0) {
    OsSetErrnoError(errno);
    return -1;
  }
  const int64_t position = ftello64(file->stream);
  if (position < 0) OsSetErrnoError(errno);
  return position;
}

int OsFileTruncate(OS_FILE* file, uint64_t size) {
  if (RefuseNamedStream(file)) return -1;
  if (OsFileFlush(file) != 0) return -1;
  if (ftruncate64(fileno(file->stream), static_cast<off64_t>(size)) != 0 ||
      fseeko64(file->stream, static_cast<off64_t>(size), SEEK_SET) != 0) {
    OsSetErrnoError(errno);
    return -1;
  }
  clearerr(file->stream);
  return 0;
}

int64_t OsFileGetSize(OS_FILE* file) {
  if (RefuseNamedStream(file)) return -1;
  // Buffered output belongs to the size the caller expects.
  if (file->last_op == kOsFileOpWrite && OsFileFlush(file) != 0) return -1;
  struct stat64 st {};
  if (fstat64(fileno(file->stream), &st) != 0) {
    OsSetErrnoError(errno);
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

int OsFileClose(OS_FILE* file) {
  if (file == nullptr) return 0;
  const int error = fclose(file->stream) == 0 ? 0 : errno;
  delete file;
  if (error == 0) return 0;
  OsSetErrnoError(error);
  return -1;
}
