#pragma once

#include <cstdint>

#include "platform/os/os_file.h"

// Whole-file operations by path and on open files.

// OsFileRename flags.
inline constexpr uint32_t kOsRenameOverwrite = 1;
// Makes `to` a second name of the file `from` (a hard link; a symbolic link
// is linked itself, not followed). An existing `to` fails with 38; a folder,
// or a file system without hard links, fails with 29.
[[nodiscard]] int OsFileLink(const char* from, const char* to);

// Sets the permission bits of path (a symbolic link is followed).
[[nodiscard]] int OsFileSetMode(const char* path, uint32_t mode);

// OsFileCopy / OsCopyFileEx flags.
inline constexpr uint32_t kOsCopyOverwrite = 1;
inline constexpr uint32_t kOsCopyAppend = 2;
// The target is flushed to disk (os_durable.h) before the copy reports success.
inline constexpr uint32_t kOsCopySync = 4;

// Limit of OsFileCopyStream meaning "to the end of the file".
inline constexpr uint64_t kOsCopyToEnd = UINT64_MAX;

// Removes path; "/dev/fd/N" empties descriptor N instead.
[[nodiscard]] int OsFileDelete(const char* path, const OS_ATTRIBUTE_LIST* attributes);

// Renames; without kOsRenameOverwrite an existing target fails with 38.
[[nodiscard]] int OsFileRename(const char* from, const OS_ATTRIBUTE_LIST* from_attributes,
                               const char* to, const OS_ATTRIBUTE_LIST* to_attributes,
                               uint32_t flags);

// Copies (or appends) from onto to and then gives the target the source's
// metadata, but only when this call created or wrote the target: a refused
// copy changes nothing. A partial target is never deleted.
[[nodiscard]] int OsCopyFileEx(const char* from, const OS_ATTRIBUTE_LIST* from_attributes,
                               const char* to, const OS_ATTRIBUTE_LIST* to_attributes,
                               uint32_t flags);
[[nodiscard]] int OsFileCopy(const char* from, const OS_ATTRIBUTE_LIST* from_attributes,
                             const char* to, const OS_ATTRIBUTE_LIST* to_attributes,
                             uint32_t flags);

// Removes n bytes at offset, moving the tail down. n, or -1.
[[nodiscard]] int64_t OsFileCutRange(OS_FILE* file, uint64_t offset, uint64_t n);

// Copies from the current positions until end of file or until limit bytes.
// Bytes copied or -1.
[[nodiscard]] int64_t OsFileCopyStream(OS_FILE* from, OS_FILE* to, uint64_t limit);
