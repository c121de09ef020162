#pragma once

#include <cstdint>

#include "platform/os/os_file.h"
#include "platform/os/os_path.h"

// File information, file times and the portable metadata blob.

// Attribute bits.
inline constexpr uint32_t kOsAttrDirectory = 8;
inline constexpr uint32_t kOsAttrSymlink = 16;  // the path is a link; the rest describes its target
inline constexpr uint32_t kOsAttrRegular = 64;
inline constexpr uint32_t kOsAttrExecutable = 0x400;

// All fields are all ones when the information could not be read.
struct OS_FILE_INFO {
  uint64_t modification_time;  // 100-ns units since 1601-01-01
  uint64_t size;
  uint32_t attributes;
};

// Unix seconds to 100-ns units since 1601.
[[nodiscard]] uint64_t OsUnixTimeToFileTime(int64_t unix_seconds);

// Information of path (lstat, following a link) or, with a null path, of fd.
// A null info returns 0.
[[nodiscard]] int OsFileInfoFromStat(const char* path, int fd, OS_FILE_INFO* info);

// Every out pointer may be null.
[[nodiscard]] int OsGetFileInfo(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                                uint64_t* modification_time, uint64_t* size,
                                uint32_t* attribute_bits);
[[nodiscard]] int OsGetFileAttributes(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                                      uint32_t* attribute_bits);
// True when path (a link followed) names the open file itself, the same
// file on the same device; false also when either cannot be read.
[[nodiscard]] bool OsFileIsAtPath(OS_FILE* file, const char* path);
// Flushes the stream first.
[[nodiscard]] int OsFileGetInfoByHandle(OS_FILE* file, uint64_t* modification_time, uint64_t* size,
                                        uint32_t* attribute_bits);

#pragma pack(push, 1)
struct OS_FILE_TIMES {
  int64_t access_seconds;
  uint32_t access_nanoseconds;
  int64_t modification_seconds;
  uint32_t modification_nanoseconds;
};

// Carries a file's mode, owner and times to its copy; little-endian.
struct OS_FILE_METADATA {
  char tag[4];  // "UNIX"
  uint32_t mode;
  uint32_t uid;
  uint32_t gid;
  OS_FILE_TIMES times;
};
#pragma pack(pop)
static_assert(sizeof(OS_FILE_TIMES) == 24);
static_assert(sizeof(OS_FILE_METADATA) == 40);

inline constexpr uint32_t kOsFileMetadataSize = sizeof(OS_FILE_METADATA);

// Sets access and modification times of path or, with a null path, of fd.
// 0, or 1 on failure.
[[nodiscard]] int OsSetFileTimes(int fd, const char* path, const OS_FILE_TIMES* times);

// *size becomes 40 in any case; a smaller size fails with 8 and writes nothing.
[[nodiscard]] int OsGetFileMetadata(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                                    void* blob, uint32_t* size);
// A blob whose tag is not "UNIX" is accepted and changes nothing.
[[nodiscard]] int OsSetFileMetadata(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                                    const void* blob, uint32_t size);
