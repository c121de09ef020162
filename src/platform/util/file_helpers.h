#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/os/os_file.h"
#include "platform/util/update_errors.h"
#include "updater.h"

class CBuffer;

// File helpers of the update engine over the OS layer. They turn the OS
// layer's portable last error into UpdError codes.

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
// none for a null argument, 0 when the search cannot start.
[[nodiscard]] std::optional<uint32_t> CountFiles(const char* folder, const char* pattern);

// OsFileOpen; a missing path with a creating disposition (1, 2 or 4) and
// kFileOpenCreateFolder creates the folder part and tries once more.
[[nodiscard]] OS_FILE* FileOpen(const char* path, uint32_t access, uint32_t disposition,
                                uint32_t flags);

// kUpdOk when deleted or already missing (or kept by kDeleteKeep), else
// kUpdDeleteFailed.
[[nodiscard]] UpdError DeleteFileChecked(const char* path, uint32_t flags);

// Creates the part of path before its last '/'; kUpdOk (also without '/') or
// kUpdFolderFailed.
[[nodiscard]] UpdError CreateParentFolder(const char* path);

// Creates the target's folder, copies (with the source's metadata) and, with
// flush, reopens the copy and flushes it. True on success.
[[nodiscard]] bool CopyFileCreatingFolder(const char* from, const char* to, bool overwrite,
                                          bool flush);

// kUpdOk, kUpdCopyFailed or kUpdDiskFull.
[[nodiscard]] UpdError FileCopy(const char* from, const char* to, uint32_t flags);
// kUpdOk, kUpdMoveFailed, or a FileCopy code from the copy-and-delete
// fallback. The source
// is kept until a copy has succeeded. Still a plain UPD_ERROR: the repository
// layer passes it as a function pointer of that type.
[[nodiscard]] UPD_ERROR FileMove(const char* from, const char* to, uint32_t flags);

// Appends the whole file to buffer; kUpdOpenFailed, kUpdReadFailed (size or
// read) or kUpdOutOfMemory (no room) when it cannot.
[[nodiscard]] UpdError LoadFileToBuffer(const char* path, CBuffer& buffer);
// Writes a new file (creating its folder); kUpdOpenFailed, kUpdWriteFailed or
// kUpdDiskFull when it cannot. A write, flush or close failure is never
// success.
[[nodiscard]] UpdError SaveBufferToFile(const char* path, const void* data, size_t length);

// kUpdDiskFull when the thread's last OS error is disk full, else code.
[[nodiscard]] UpdError MapDiskFullError(UpdError code);
