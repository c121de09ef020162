#include "platform/util/temp_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/os/os_error.h"
#include "platform/os/os_folder.h"
#include "platform/os/os_path.h"
#include "platform/os/os_temp.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/strings.h"
#include "platform/util/unique_names.h"
#include "updater.h"

namespace {

// Room for the base folder and the name, one byte more than a path buffer.
constexpr size_t kTempPathSize = UPD_PATH_SIZE + 1;
// Only the owner may enter the folder while the engine unpacks into it.
constexpr mode_t kTempDirMode = 0700;

}  // namespace

CTempDir::CTempDir(const char* base, NumberSource next_number) {
  if (next_number == nullptr) next_number = &NextFolderNameNumber;
  char folder[kTempPathSize] = {};
  if (base != nullptr) {
    SafeStrCopy(folder, sizeof folder, base);
  } else {
    OsGetTempFolder(folder, sizeof folder);
  }
  OsAppendSlash(folder, sizeof folder);
  // The base may not exist yet; an existing one is fine. A base that cannot
  // be made leaves no folder, with the reason as the last error.
  if (OsCreateFolderTree(folder) != 0) return;
  for (int attempt = 0; attempt < kUniqueNameTries; ++attempt) {
    char path[kTempPathSize];
    const int length = std::snprintf(path, sizeof path, "%stemp%08X", folder, next_number());
    // The path must fit the engine's path buffers whole.
    if (length < 0 || static_cast<size_t>(length) >= UPD_PATH_SIZE) return;
    if (mkdir(path, kTempDirMode) == 0) {
      path_ = path;
      return;
    }
    const int error = errno;
    OsSetErrnoError(error);
    // Only a name that is taken is worth another try.
    if (error != EEXIST) return;
  }
}

CTempDir::~CTempDir() {
  if (!path_.empty()) DeleteFolder(path_.c_str(), true);
}
