#include "platform/os/os_file_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/os/os_error.h"

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t kFileTimeEpochOffset = 11644473600ULL;
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000ULL;
constexpr char kMetadataTag[4] = {'U', 'N', 'I', 'X'};

void SetAllOnes(OS_FILE_INFO* info) {
  info->modification_time = UINT64_MAX;
  info->size = UINT64_MAX;
  info->attributes = UINT32_MAX;
}

void FillInfo(const struct stat64& st, bool link, OS_FILE_INFO* info) {
  info->modification_time = OsUnixTimeToFileTime(st.st_mtime);
  info->size = static_cast<uint64_t>(st.st_size);
  uint32_t bits = 0;
  if (S_ISDIR(st.st_mode)) bits |= kOsAttrDirectory;
  if (S_ISREG(st.st_mode)) bits |= kOsAttrRegular;
  if ((st.st_mode & 0111) != 0) bits |= kOsAttrExecutable;
  if (link) bits |= kOsAttrSymlink;
  info->attributes = bits;
}

// lstat of path, following a link with stat; link tells whether it was one.
int StatFollowing(const char* path, struct stat64* st, bool* link) {
  *link = false;
  if (lstat64(path, st) != 0) return -1;
  if (!S_ISLNK(st->st_mode)) return 0;
  *link = true;
  return stat64(path, st);
}

bool NamesStream(const OS_ATTRIBUTE_LIST* attributes) {
  return OsAttributeListHas(attributes, kOsAttributeStreamName) != 0;
}

void Store(const OS_FILE_INFO& info, uint64_t* modification_time, uint64_t* size,
           uint32_t* attribute_bits) {
  if (modification_time != nullptr) *modification_time = info.modification_time;
  if (size != nullptr) *size = info.size;
  if (attribute_bits != nullptr) *attribute_bits = info.attributes;
}

// stat of a path, or fstat of N for "/dev/fd/N", as the metadata and
// information calls read it.
int StatPathOrFd(const char* path, struct stat64* st, bool* link) {
  const int fd = OsParseFdPath(path);
  *link = false;
  if (fd >= 0) return fstat64(fd, st);
  return StatFollowing(path, st, link);
}

}  // namespace

uint64_t OsUnixTimeToFileTime(int64_t unix_seconds) {
  return (static_cast<uint64_t>(unix_seconds) + kFileTimeEpochOffset) * kFileTimeUnitsPerSecond;
}

int OsFileInfoFromStat(const char* path, int fd, OS_FILE_INFO* info) {
  if (info == nullptr) return 0;
  struct stat64 st {};
  bool link = false;
  int result = 0;
  if (path != nullptr) {
    std::string trimmed(path);
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    result = StatFollowing(trimmed.c_str(), &st, &link);
  } else {
    result = fstat64(fd, &st);
  }
  if (result != 0) {
    OsSetErrnoError(errno);
    SetAllOnes(info);
    return -1;
  }
  FillInfo(st, link, info);
  return 0;
}

int OsGetFileInfo(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                  uint64_t* modification_time, uint64_t* size, uint32_t* attribute_bits) {
  if (NamesStream(attributes)) {
    OsSetOwnError(kOsFailure);
    return -1;
  }
  if (path == nullptr) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  OS_FILE_INFO info{};
  const int fd = OsParseFdPath(path);
  const int result =
      fd >= 0 ? OsFileInfoFromStat(nullptr, fd, &info) : OsFileInfoFromStat(path, -1, &info);
  if (result != 0) return -1;
  Store(info, modification_time, size, attribute_bits);
  return 0;
}

int OsGetFileAttributes(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                        uint32_t* attribute_bits) {
  return OsGetFileInfo(path, attributes, nullptr, nullptr, attribute_bits);
}

bool OsFileIsAtPath(OS_FILE* file, const char* path) {
  struct stat64 open_file {};
  struct stat64 named {};
  if (fstat64(fileno(file->stream), &open_file) != 0 || stat64(path, &named) != 0) return false;
  return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

int OsFileGetInfoByHandle(OS_FILE* file, uint64_t* modification_time, uint64_t* size,
                          uint32_t* attribute_bits) {
  if (!file->stream_name.empty()) {
    OsSetOwnError(kOsFailure);
    return -1;
  }
  if (OsFileFlush(file) != 0) return -1;
  OS_FILE_INFO info{};
  if (OsFileInfoFromStat(nullptr, fileno(file->stream), &info) != 0) return -1;
  Store(info, modification_time, size, attribute_bits);
  return 0;
}

int OsSetFileTimes(int fd, const char* path, const OS_FILE_TIMES* times) {
  const timespec stamps[2] = {
      {static_cast<time_t>(times->access_seconds), static_cast<long>(times->access_nanoseconds)},
      {static_cast<time_t>(times->modification_seconds),
       static_cast<long>(times->modification_nanoseconds)}};
  const long result = path != nullptr ? syscall(SYS_utimensat, AT_FDCWD, path, stamps, 0)
                                      : syscall(SYS_utimensat, fd, nullptr, stamps, 0);
  if (result == 0) return 0;
  if (errno == ENOSYS) {
    const timeval tv[2] = {{stamps[0].tv_sec, stamps[0].tv_nsec / 1000},
                           {stamps[1].tv_sec, stamps[1].tv_nsec / 1000}};
    if ((path != nullptr ? utimes(path, tv) : futimes(fd, tv)) == 0) return 0;
  }
  OsSetErrnoError(errno);
  return 1;
}

int OsGetFileMetadata(const char* path, const OS_ATTRIBUTE_LIST* attributes, void* blob,
                      uint32_t* size) {
  if (NamesStream(attributes)) {
    OsSetErrnoError(EPERM);
    return -1;
  }
  const uint32_t given = *size;
  *size = kOsFileMetadataSize;
  if (given < kOsFileMetadataSize) {
    OsSetOwnError(kOsTooSmall);
    return -1;
  }
  struct stat64 st {};
  bool link = false;
  if (StatPathOrFd(path, &st, &link) != 0) {
    OsSetErrnoError(errno);
    return -1;
  }
  OS_FILE_METADATA metadata{};
  std::memcpy(metadata.tag, kMetadataTag, sizeof kMetadataTag);
  metadata.mode = st.st_mode;
  metadata.uid = st.st_uid;
  metadata.gid = st.st_gid;
  metadata.times.access_seconds = st.st_atim.tv_sec;
  metadata.times.access_nanoseconds = static_cast<uint32_t>(st.st_atim.tv_nsec);
  metadata.times.modification_seconds = st.st_mtim.tv_sec;
  metadata.times.modification_nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  std::memcpy(blob, &metadata, sizeof metadata);
  return 0;
}

int OsSetFileMetadata(const char* path, const OS_ATTRIBUTE_LIST* attributes, const void* blob,
                      uint32_t size) {
  if (NamesStream(attributes)) {
    OsSetErrnoError(EPERM);
    return -1;
  }
  if (size != kOsFileMetadataSize) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  OS_FILE_METADATA metadata{};
  std::memcpy(&metadata, blob, sizeof metadata);
  if (std::memcmp(metadata.tag, kMetadataTag, sizeof kMetadataTag) != 0) return 0;
  const int fd = OsParseFdPath(path);
  const mode_t mode = metadata.mode & 07777;
  int failed_errno = 0;
  if ((fd >= 0 ? fchmod(fd, mode) : chmod(path, mode)) != 0) failed_errno = errno;
  if (OsSetFileTimes(fd, fd >= 0 ? nullptr : path, &metadata.times) != 0) failed_errno = errno;
  if (failed_errno != 0) {
    OsSetErrnoError(failed_errno);
    return -1;
  }
  // Only root may give a file away; a copy made by anyone else keeps its owner.
  [[maybe_unused]] const int ignored =
      fd >= 0 ? fchown(fd, metadata.uid, metadata.gid) : chown(path, metadata.uid, metadata.gid);
  return 0;
}
