#pragma once

#include "platform/os/os_file.h"

// Flushes to the disk itself, so that a power cut cannot undo what a step
// reported done. A file system may write a renamed file's name before its
// data (XFS, ext4 without auto_da_alloc): a file that becomes current by a
// rename or a link is flushed first, and its folder after, so that the cut
// leaves the old file or the new one and never an empty one. 0, or -1 with
// the thread's last error set.

// Writes what is buffered and flushes the file's data to disk.
[[nodiscard]] int OsFileSync(OS_FILE* file);
// Flushes the data of the file at path, written by whoever wrote it.
[[nodiscard]] int OsSyncFile(const char* path);
// Flushes a folder's entries: the names renames, links and deletions made.
[[nodiscard]] int OsSyncFolder(const char* folder);
// OsSyncFolder on the folder that holds path ("." for a bare name).
[[nodiscard]] int OsSyncFolderOf(const char* path);
// Makes from current as to: flushes from, renames it over to (kOsRenameOverwrite
// semantics of OsFileRename when overwrite), then flushes the folder of to.
[[nodiscard]] int OsFileRenameDurable(const char* from, const char* to, bool overwrite);
