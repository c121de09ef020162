#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os/os_file.h"
#include "updater.h"

class CBuffer;

// File helpers of the update engine over the OS layer. They turn the OS
// layer's portable last error into UPD_ERROR values.

// FileOpen flag: create the missing parent folder and try once more.
inline constexpr uint32_t kFileOpenCreateFolder = 0x2;

// FileCopy flags.
inline constexpr uint32_t kFileCopyOverwrite = 0x1;
inline constexpr uint32_t kFileCopyCreateFolder = 0x2;
inline constexpr uint32_t kFileCopyFlush = 0x4;

// FileMove flags (0x4 has no effect).
inline constexpr uint32_t kFileMoveOverwrite = 0x1;
inline constexpr uint32_t kFileMoveCopyFallback = 0x2;
inline constexpr uint32_t kFileMoveCreateFolder = 0x8;
inline constexpr uint32_t kFileMoveFlushTarget = 0x10;
inline constexpr uint32_t kFileMoveFlushCopy = 0x20;
inline constexpr uint32_t kFileMoveAfterRenameHook = 0x40;  // does nothing

// DeleteFileChecked flag: keep the file and report success.
inline constexpr uint32_t kDeleteKeep = 0x1;

[[nodiscard]] bool FileExists(const char* path);
[[nodiscard]] bool FolderExists(const char* path);

// Entries of folder/pattern that are not folders ("." and ".." never count);
// -1 for a null argument, 0 when the search cannot start.
[[nodiscard]] int32_t CountFiles(const char* folder, const char* pattern);

// OsFileOpen; a missing path with a creating disposition (1, 2 or 4) and
// kFileOpenCreateFolder creates the folder part and tries once more.
[[nodiscard]] OS_FILE* FileOpen(const char* path, uint32_t access, uint32_t disposition,
                                uint32_t flags);

// 0 when deleted or already missing (or kept by kDeleteKeep), else 0x1021.
[[nodiscard]] UPD_ERROR DeleteFileChecked(const char* path, uint32_t flags);

// Creates the part of path before its last '/'; 0 (also without '/') or 0x1018.
[[nodiscard]] UPD_ERROR CreateParentFolder(const char* path);

// Creates the target's folder, copies (with the source's metadata) and, with
// flush, reopens the copy and flushes it. True on success.
[[nodiscard]] bool CopyFileCreatingFolder(const char* from, const char* to, bool overwrite,
                                          bool flush);

// 0, 0x101A or 0x1020 (disk full).
[[nodiscard]] UPD_ERROR FileCopy(const char* from, const char* to, uint32_t flags);
// 0, 0x101E, or a FileCopy code from the copy-and-delete fallback. The source
// is kept until a copy has succeeded.
[[nodiscard]] UPD_ERROR FileMove(const char* from, const char* to, uint32_t flags);

// Appends the whole file to buffer: 0, 0x1016 (open), 0x1013 (size or read),
// 0x3101 (no room).
[[nodiscard]] UPD_ERROR LoadFileToBuffer(const char* path, CBuffer& buffer);
// Writes a new file (creating its folder): 0, 0x1016 (open), 0x1017 (write)
// or 0x1020 (disk full). A write, flush or close failure is never success.
[[nodiscard]] UPD_ERROR SaveBufferToFile(const char* path, const void* data, size_t length);

// 0x1020 when the thread's last OS error is disk full, else code.
[[nodiscard]] UPD_ERROR MapDiskFullError(UPD_ERROR code);
