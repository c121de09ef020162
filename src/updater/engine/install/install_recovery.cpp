#include "updater/engine/install/install_recovery.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/os/os_file_info.h"
#include "platform/os/os_file_ops.h"
#include "platform/util/file_finder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/update_errors.h"
#include "updater/engine/install/install_staging.h"

namespace {

constexpr std::string_view kTempFolderPrefix = "temp";
// CTempDir names its folders "temp%08X".
constexpr size_t kTempFolderDigits = 8;

bool IsTempFolderName(std::string_view name) {
  if (name.size() != kTempFolderPrefix.size() + kTempFolderDigits ||
      !name.starts_with(kTempFolderPrefix)) {
    return false;
  }
  for (const char c : name.substr(kTempFolderPrefix.size())) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0 && (c < 'A' || c > 'F')) return false;
  }
  return true;
}

// A ".old" copy whose module is missing is the only copy of that module: it
// goes back under the module's name, and stays where it is when it cannot.
// Beside a module in place it is a second name or a copy of an older build.
bool SettleOldCopies(const char* folder) {
  bool ok = true;
  const size_t suffix = std::strlen(kOldSuffix);
  for (const char* path : CFileFinder(folder, "*.old", kOsAttrRegular)) {
    const std::string target(path, std::strlen(path) - suffix);
    if (!FileExists(target.c_str())) {
      if (OsFileRename(path, nullptr, target.c_str(), nullptr, 0) != 0) ok = false;
      continue;
    }
    if (OsFileDelete(path, nullptr) != 0) ok = false;
  }
  return ok;
}

// Never through a link: deleting there would empty the link's target.
bool DropTempFolders(const char* folder) {
  bool ok = true;
  CFileFinder finder(folder, "temp*", kOsAttrDirectory);
  for (; finder.NotAtEnd(); finder.Next()) {
    if ((finder.Info().attributes & kOsAttrSymlink) != 0 || !IsTempFolderName(finder.Name())) {
      continue;
    }
    if (DeleteFolder(finder.Path(), true) != 0) ok = false;
  }
  return ok;
}

}  // namespace

UpdError RemoveDeadInstallLeftovers(const HostBinding* context) {
  if (context == nullptr) return kUpdDeleteFailed;
  bool ok = SettleOldCopies(context->modulesFolder);
  ok = DropTempFolders(context->modulesFolder) && ok;
  const UPD_ERROR staging = CleanModulesFolder(context);
  return static_cast<UpdError>(ok ? staging : kUpdDeleteFailed);
}
