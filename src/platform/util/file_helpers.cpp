#include "platform/util/file_helpers.h"

#include <cstring>
#include <string>

#include "platform/os/os_error.h"
#include "platform/os/os_file_info.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_folder.h"
#include "platform/util/buffer.h"
#include "platform/util/path_helpers.h"
#include "platform/util/update_errors.h"

namespace {

// Callers treat both portable "not found" codes as a missing path.
constexpr uint32_t kOsPathMissing = 12;

bool LastErrorIsMissingPath() {
  const uint32_t error = OsGetLastError();
  return error == kOsNotFound || error == kOsPathMissing;
}

bool IsCreatingDisposition(uint32_t disposition) {
  return disposition == kOsCreateNew || disposition == kOsCreateAlways ||
         disposition == kOsOpenAlways;
}

// The text before the last '/', or false when there is none.
bool FolderPart(const char* path, std::string* folder) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return false;
  folder->assign(path, static_cast<size_t>(slash - path));
  return true;
}

int CreateFolderOf(const char* path) {
  std::string folder;
  if (!FolderPart(path, &folder)) return -1;
  // "/x" lives in the root, which exists.
  if (folder.empty()) return 0;
  return OsCreateFolderTree(folder.c_str());
}

// Reopens a written file and flushes it. The flush is a courtesy to the
// file system after the copy or rename has already succeeded: its failures,
// like a failed open, do not undo that success and are not reported.
void FlushExisting(const char* path) {
  OS_FILE* file = OsFileOpen(path, nullptr, kOsAccessWrite, kOsOpenExisting);
  if (file == nullptr) return;
  (void)OsFileFlush(file);
  OsFileClose(file);
}

bool IsDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

bool FileExists(const char* path) {
  return path != nullptr && OsGetFileInfo(path, nullptr, nullptr, nullptr, nullptr) == 0;
}

bool FolderExists(const char* path) {
  if (path == nullptr) return false;
  OS_FOLDER* folder = OsFolderOpen(path);
  if (folder == nullptr) return false;
  OsFolderClose(folder);
  return true;
}

std::optional<uint32_t> CountFiles(const char* folder, const char* pattern) {
  if (folder == nullptr || pattern == nullptr) return std::nullopt;
  // The joined text must fit a path buffer.
  if (std::strlen(folder) + 1 + std::strlen(pattern) >= kPathSize) return 0;
  const std::string search = EscapeSearchPattern(folder) + '/' + pattern;
  OS_FIND* find = OsFindFirst(search.c_str());
  if (find == nullptr) return 0;
  uint32_t count = 0;
  const char* name = nullptr;
  OS_FILE_INFO info{};
  while (OsFindNext(find, &name, &info) == 0) {
    if (IsDotEntry(name) || (info.attributes & kOsAttrDirectory) != 0) continue;
    ++count;
  }
  OsFindClose(find);
  return count;
}

OS_FILE* FileOpen(const char* path, uint32_t access, uint32_t disposition, uint32_t flags) {
  OS_FILE* file = OsFileOpen(path, nullptr, access, disposition);
  if (file != nullptr || path == nullptr) return file;
  if (!LastErrorIsMissingPath() || !IsCreatingDisposition(disposition) ||
      (flags & kFileOpenCreateFolder) == 0) {
    return nullptr;
  }
  if (CreateFolderOf(path) != 0) return nullptr;
  return OsFileOpen(path, nullptr, access, disposition);
}

UpdError DeleteFileChecked(const char* path, uint32_t flags) {
  if ((flags & kDeleteKeep) != 0) return kUpdOk;
  if (OsFileDelete(path, nullptr) == 0 || LastErrorIsMissingPath()) return kUpdOk;
  return kUpdDeleteFailed;
}

UpdError CreateParentFolder(const char* path) {
  if (path == nullptr || std::strchr(path, '/') == nullptr) return kUpdOk;
  return CreateFolderOf(path) == 0 ? kUpdOk : kUpdFolderFailed;
}

bool CopyFileCreatingFolder(const char* from, const char* to, bool overwrite, bool flush) {
  if (from == nullptr || to == nullptr) return false;
  CreateFolderOf(to);
  if (OsFileCopy(from, nullptr, to, nullptr, overwrite ? kOsCopyOverwrite : 0) != 0) return false;
  if (flush) FlushExisting(to);
  return true;
}

UpdError FileCopy(const char* from, const char* to, uint32_t flags) {
  const uint32_t copy_flags = (flags & kFileCopyOverwrite) != 0 ? kOsCopyOverwrite : 0;
  if (OsFileCopy(from, nullptr, to, nullptr, copy_flags) != 0) {
    const UpdError result = MapDiskFullError(kUpdCopyFailed);
    if (!LastErrorIsMissingPath() || (flags & kFileCopyCreateFolder) == 0) return result;
    std::string folder;
    if (to == nullptr || !FolderPart(to, &folder)) return result;
    if (!folder.empty() && OsCreateFolderTree(folder.c_str()) != 0) return result;
    if (OsFileCopy(from, nullptr, to, nullptr, copy_flags) != 0) {
      return MapDiskFullError(kUpdCopyFailed);
    }
  }
  if ((flags & kFileCopyFlush) != 0) FlushExisting(to);
  return kUpdOk;
}

namespace {

UpdError AfterRename(const char* to, uint32_t flags) {
  if ((flags & kFileMoveFlushTarget) != 0) FlushExisting(to);
  return kUpdOk;
}

UpdError CopyAndDelete(const char* from, const char* to, uint32_t flags, bool create_folder) {
  uint32_t copy_flags = (flags & kFileMoveOverwrite) != 0 ? kFileCopyOverwrite : 0;
  if (create_folder) copy_flags |= kFileCopyCreateFolder;
  if ((flags & (kFileMoveFlushTarget | kFileMoveFlushCopy)) != 0) copy_flags |= kFileCopyFlush;
  const UpdError result = FileCopy(from, to, copy_flags);
  if (result != kUpdOk) return result;
  // The target is complete; a source that cannot be removed leaves a stray
  // copy behind, not a failed move.
  (void)OsFileDelete(from, nullptr);
  return kUpdOk;
}

}  // namespace

UPD_ERROR FileMove(const char* from, const char* to, uint32_t flags) {
  const uint32_t rename_flags = (flags & kFileMoveOverwrite) != 0 ? kOsRenameOverwrite : 0;
  if (OsFileRename(from, nullptr, to, nullptr, rename_flags) == 0) return AfterRename(to, flags);
  const bool fallback = (flags & kFileMoveCopyFallback) != 0;
  const bool create_folder = (flags & kFileMoveCreateFolder) != 0;
  if (!LastErrorIsMissingPath()) {
    if (!fallback) return kUpdMoveFailed;
    return CopyAndDelete(from, to, flags, create_folder);
  }
  std::string folder;
  if (!create_folder || to == nullptr || !FolderPart(to, &folder)) return kUpdMoveFailed;
  if ((folder.empty() || OsCreateFolderTree(folder.c_str()) == 0) &&
      OsFileRename(from, nullptr, to, nullptr, rename_flags) == 0) {
    return AfterRename(to, flags);
  }
  if (LastErrorIsMissingPath() || !fallback) return kUpdMoveFailed;
  return CopyAndDelete(from, to, flags, true);
}

UpdError LoadFileToBuffer(const char* path, CBuffer& buffer) {
  OS_FILE* file = OsFileOpen(path, nullptr, kOsAccessRead, kOsOpenExisting);
  if (file == nullptr) return kUpdOpenFailed;
  const int64_t size = OsFileGetSize(file);
  UpdError result = kUpdOk;
  if (size < 0) {
    result = kUpdReadFailed;
  } else if (size > 0) {
    const uint64_t n = static_cast<uint64_t>(size);
    uint8_t* room = buffer.Reserve(n);
    if (room == nullptr) {
      result = kUpdOutOfMemory;
    } else if (OsFileReadFully(file, room, n) != size || buffer.Commit(n) == 0) {
      result = kUpdReadFailed;
    }
  }
  OsFileClose(file);
  return result;
}

UpdError SaveBufferToFile(const char* path, const void* data, size_t length) {
  OS_FILE* file = FileOpen(path, kOsAccessWrite, kOsCreateAlways, kFileOpenCreateFolder);
  if (file == nullptr) return kUpdOpenFailed;
  UpdError result = kUpdOk;
  if (length > 0 && OsFileWrite(file, data, length) != static_cast<int64_t>(length)) {
    result = MapDiskFullError(kUpdWriteFailed);
  } else if (OsFileFlush(file) != 0) {
    // Buffered bytes reach the disk only here; a full disk shows up now.
    result = MapDiskFullError(kUpdWriteFailed);
  }
  if (OsFileClose(file) != 0 && result == kUpdOk) result = MapDiskFullError(kUpdWriteFailed);
  return result;
}

UpdError MapDiskFullError(UpdError code) {
  return OsGetLastError() == kOsDiskFull ? kUpdDiskFull : code;
}
