#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/os/os_file_info.h"

// Folders and wildcard searches.

// Creates path and its missing parents (mode 0777 before the umask). An
// existing entry is success with own code 20 left as the last error.
[[nodiscard]] int OsCreateFolderTree(const char* path);
// The same with a mode, and every folder created given to uid:gid.
[[nodiscard]] int OsCreateFolderTreeOwned(const char* path, mode_t mode, uid_t uid, gid_t gid);

struct OS_FOLDER {
  DIR* dir = nullptr;
  std::string path;
};

[[nodiscard]] OS_FOLDER* OsFolderOpen(const char* path);
// A null handle gives 0.
int OsFolderClose(OS_FOLDER* folder);
// Removes an empty folder.
[[nodiscard]] int OsFolderDelete(const char* path);

// A glob search (sorted matches; a leading '.' only matched explicitly).
struct OS_FIND {
  std::vector<std::string> matches;
  size_t next = 0;
  std::string name_part;
};

// Null when nothing matches, without setting the last error.
[[nodiscard]] OS_FIND* OsFindFirst(const char* pattern);
// 0 with the next match's name after its last '/' ("." for a match ending in
// '/') and its information (all ones when it cannot be read); -1 when no entry
// is left. name_part stays valid until the next call on the search.
[[nodiscard]] int OsFindNext(OS_FIND* search, const char** name_part, OS_FILE_INFO* info);
// Always 0.
int OsFindClose(OS_FIND* search);
