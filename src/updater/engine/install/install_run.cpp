#include "updater/engine/install/install_run.h"

#include "platform/os/os_temp.h"
#include "platform/util/file_helpers.h"
#include "updater.h"
#include "updater/engine/common/component_tables.h"

namespace {

constexpr char kTempPrefix[] = "NUP";
// Room for the header's "platform" name.
constexpr uint32_t kPlatformNameSize = 32;
constexpr uint32_t kAnyOtherPlatform = ~0u;

}  // namespace

bool MakeInstallTempFile(const InstallRun& run, std::string* path) {
  path->clear();
  if (run.tempFolder == nullptr) return false;
  char name[UPD_PATH_SIZE] = {};
  if (OsGetTempFileName(kTempPrefix, name, sizeof name, run.tempFolder) != 0) return false;
  *path = name;
  return true;
}

int32_t ReadHeaderInt(const PackageInfo* info, const char* key, int32_t fallback) {
  return info != nullptr ? info->Int(key, fallback) : fallback;
}

std::string ReadHeaderText(const PackageInfo* info, const char* key, uint32_t size) {
  return info != nullptr ? info->Text(key, size) : std::string();
}

void DropFile(std::string* path) {
  if (path->empty()) return;
  (void)DeleteFileChecked(path->c_str(), 0);
  path->clear();
}

uint32_t HeaderPlatformId(const PackageInfo* info) {
  return GetPlatformId(ReadHeaderText(info, "platform", kPlatformNameSize))
      .value_or(kAnyOtherPlatform);
}
