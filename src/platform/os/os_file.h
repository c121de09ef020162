#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/os/os_path.h"

// Open files of the OS layer. Failures return null or -1 and set the calling
// thread's last error (platform/os/os_error.h). A path "/dev/fd/N" names the
// already open descriptor N.

// Access word.
inline constexpr uint32_t kOsAccessRead = 1;
inline constexpr uint32_t kOsAccessWrite = 2;
inline constexpr uint32_t kOsAccessReadWrite = 3;
inline constexpr uint32_t kOsAccessLock = 0x100;  // advisory flock, shared for read
inline constexpr uint32_t kOsAccessUnbuffered = 0x1000000;
inline constexpr uint32_t kOsAccessNoFollow = 0x10000000;

// Dispositions.
inline constexpr uint32_t kOsCreateNew = 1;
inline constexpr uint32_t kOsCreateAlways = 2;
inline constexpr uint32_t kOsOpenExisting = 3;
inline constexpr uint32_t kOsOpenAlways = 4;
inline constexpr uint32_t kOsTruncateExisting = 5;

// OS_FILE flag word.
inline constexpr uint32_t kOsFileUnbuffered = 0x1000000;

// Last operation, so that a change of direction seeks first as stdio requires.
inline constexpr uint32_t kOsFileOpNone = 0;
inline constexpr uint32_t kOsFileOpRead = 1;
inline constexpr uint32_t kOsFileOpWrite = 2;

// An open file, owned by the caller until OsFileClose.
struct OS_FILE {
  FILE* stream = nullptr;
  uint32_t flags = 0;
  uint32_t last_op = kOsFileOpNone;
  std::string stream_name;  // named stream; empty for ordinary files
};

// Opens path. A truncating disposition together with kOsAccessLock truncates
// only once the lock is held, so a refused lock never empties another
// holder's file. A busy lock fails at once with 15.
[[nodiscard]] OS_FILE* OsFileOpen(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                                  uint32_t access, uint32_t disposition);
// As OsFileOpen, retrying a busy lock until timeout_ms has passed.
[[nodiscard]] OS_FILE* OsFileOpenWait(const char* path, const OS_ATTRIBUTE_LIST* attributes,
                                      uint32_t access, uint32_t disposition, uint32_t timeout_ms);

// Bytes read (0 at end of file) or -1.
[[nodiscard]] int64_t OsFileRead(OS_FILE* file, void* buffer, size_t n);
// Reads until n bytes or end of file; the bytes read, or -1 when a read fails.
[[nodiscard]] int64_t OsFileReadFully(OS_FILE* file, void* buffer, size_t n);
// Bytes written or -1.
[[nodiscard]] int64_t OsFileWrite(OS_FILE* file, const void* data, size_t n);

[[nodiscard]] int OsFileFlush(OS_FILE* file);
// Origin 0 start, 1 current, 2 end. New position or -1.
[[nodiscard]] int64_t OsFileSeek(OS_FILE* file, int64_t offset, int origin);
// Sets the size and moves to the new end.
[[nodiscard]] int OsFileTruncate(OS_FILE* file, uint64_t size);
[[nodiscard]] int64_t OsFileGetSize(OS_FILE* file);
// Closes and frees; a null handle gives 0. After writing, the result tells
// whether buffered bytes reached the file; a handle only read from, or one
// closed on a failure path, has nothing left to report.
int OsFileClose(OS_FILE* file);
