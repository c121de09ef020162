#include "platform/util/folder_cleanup.h"

#include <cstring>
#include <string>

#include "platform/os/os_file_ops.h"
#include "platform/os/os_folder.h"
#include "platform/util/file_finder.h"
#include "platform/util/path_helpers.h"
#include "platform/util/update_errors.h"
#include "platform/util/host_binding.h"

namespace {

// Attributes of an entry whose information could not be read.
constexpr uint32_t kUnknownAttributes = ~uint32_t{0};

bool IsDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// A folder to descend into: not a link (deleting through a link would empty
// its target) and not an entry whose information is unknown.
bool IsRealFolder(const OS_FILE_INFO& info) {
  return info.attributes != kUnknownAttributes && (info.attributes & kOsAttrDirectory) != 0 &&
         (info.attributes & kOsAttrSymlink) == 0;
}

std::string SubFolder(const HostBinding* context, const char* name) {
  return PathJoinString(context->updateFolder, name);
}

}  // namespace

int DeleteFolder(const char* folder, bool remove_self) {
  if (folder == nullptr) return -1;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  const std::string pattern = EscapeSearchPattern(prefix) + "*.*";
  int result = 0;
  OS_FIND* search = OsFindFirst(pattern.c_str());
  if (search != nullptr) {
    const char* name = nullptr;
    OS_FILE_INFO info{};
    while (OsFindNext(search, &name, &info) == 0) {
      if (IsDotEntry(name)) continue;
      const std::string entry = prefix + name;
      result |= IsRealFolder(info) ? DeleteFolder(entry.c_str(), true)
                                   : OsFileDelete(entry.c_str(), nullptr);
    }
    OsFindClose(search);
  }
  if (remove_self && result == 0) return OsFolderDelete(folder);
  return result;
}

int CleanTempFolder(const HostBinding* context) {
  if (context == nullptr) return -1;
  return DeleteFolder(context->updateFolder, false);
}

int CleanContinuousFolder(const HostBinding* context) {
  if (context == nullptr) return -1;
  return DeleteFolder(SubFolder(context, "continuous").c_str(), true);
}

int CleanTempMirrorFolder(const HostBinding* context) {
  if (context == nullptr) return -1;
  return DeleteFolder(SubFolder(context, "tempMirror").c_str(), true);
}

UpdError CleanModulesFolder(const HostBinding* context) {
  if (context == nullptr) return kUpdDeleteFailed;
  const std::string modules = PathJoinString(context->modulesFolder, "Modules");
  bool ok = DeleteFolder(modules.c_str(), true) == 0;
  for (const char* path : CFileFinder(context->modulesFolder, "em*.dat.old", kOsAttrRegular)) {
    if (OsFileDelete(path, nullptr) != 0) ok = false;
  }
  return ok ? kUpdOk : kUpdDeleteFailed;
}
