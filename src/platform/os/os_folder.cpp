#include "platform/os/os_folder.h"

#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "platform/os/os_error.h"
#include "platform/os/os_path.h"

namespace {

int MakeOne(const std::string& path, mode_t mode, uid_t uid, gid_t gid) {
  if (mkdir(path.c_str(), mode) != 0) return errno;
  if (chown(path.c_str(), uid, gid) != 0) return errno;
  return 0;
}

int CreateTree(const std::string& path, mode_t mode, uid_t uid, gid_t gid) {
  int error = MakeOne(path, mode, uid, gid);
  if (error == ENOENT) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) {
      OsSetErrnoError(error);
      return -1;
    }
    if (CreateTree(path.substr(0, slash), mode, uid, gid) != 0) return -1;
    if (path.back() == '/') return 0;
    error = MakeOne(path, mode, uid, gid);
  }
  if (error == 0) return 0;
  if (error == EEXIST) {
    OsSetOwnError(kOsAlreadyExists);
    return 0;
  }
  OsSetErrnoError(error);
  return -1;
}

}  // namespace

int OsCreateFolderTree(const char* path) {
  return OsCreateFolderTreeOwned(path, 0777, static_cast<uid_t>(-1), static_cast<gid_t>(-1));
}

int OsCreateFolderTreeOwned(const char* path, mode_t mode, uid_t uid, gid_t gid) {
  OsSetLastError(kOsDomainErrno, 0);
  if (path == nullptr || *path == 0) {
    OsSetErrnoError(path == nullptr ? EFAULT : ENOENT);
    return -1;
  }
  return CreateTree(path, mode, uid, gid);
}

OS_FOLDER* OsFolderOpen(const char* path) {
  if (path == nullptr) {
    OsSetErrnoError(EFAULT);
    return nullptr;
  }
  DIR* dir = opendir(path);
  if (dir == nullptr) {
    OsSetErrnoError(errno);
    return nullptr;
  }
  auto* folder = new (std::nothrow) OS_FOLDER;
  if (folder == nullptr) {
    closedir(dir);
    OsSetOwnError(kOsNoMemory);
    return nullptr;
  }
  folder->dir = dir;
  folder->path = path;
  return folder;
}

int OsFolderClose(OS_FOLDER* folder) {
  if (folder == nullptr) return 0;
  const int result = closedir(folder->dir);
  const int error = errno;
  delete folder;
  if (result == 0) return 0;
  OsSetErrnoError(error);
  return -1;
}

int OsFolderDelete(const char* path) {
  if (path == nullptr) {
    OsSetErrnoError(EFAULT);
    return -1;
  }
  if (rmdir(path) == 0) return 0;
  OsSetErrnoError(errno);
  return -1;
}

OS_FIND* OsFindFirst(const char* pattern) {
  if (pattern == nullptr) return nullptr;
  auto* search = new (std::nothrow) OS_FIND;
  if (search == nullptr) return nullptr;
  const int fd = OsParseFdPath(pattern);
  if (fd >= 0) {
    search->matches.push_back("/dev/fd/" + std::to_string(fd));
    return search;
  }
  glob_t found{};
  if (glob(pattern, 0, nullptr, &found) != 0) {
    globfree(&found);
    delete search;
    return nullptr;
  }
  search->matches.assign(found.gl_pathv, found.gl_pathv + found.gl_pathc);
  globfree(&found);
  return search;
}

int OsFindNext(OS_FIND* search, const char** name_part, OS_FILE_INFO* info) {
  if (search == nullptr || search->next >= search->matches.size()) return -1;
  const std::string& match = search->matches[search->next++];
  const size_t slash = match.find_last_of('/');
  if (slash == std::string::npos) {
    search->name_part = match;
  } else if (slash + 1 == match.size()) {
    search->name_part = ".";
  } else {
    search->name_part = match.substr(slash + 1);
  }
  if (name_part != nullptr) *name_part = search->name_part.c_str();
  if (info != nullptr) {
    [[maybe_unused]] const int ignored = OsFileInfoFromStat(match.c_str(), -1, info);
  }
  return 0;
}

int OsFindClose(OS_FIND* search) {
  delete search;
  return 0;
}
