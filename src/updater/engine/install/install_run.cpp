#include "updater/engine/install/install_run.h"

#include <vector>

#include "platform/os/os_temp.h"
#include "platform/store/profile_cache.h"
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

int32_t ReadHeaderInt(const std::string& ini, const char* key, int32_t fallback) {
  if (ini.empty()) return fallback;
  return ProfileGetInt(kUpdateInfoSection, key, fallback, ini.c_str());
}

std::string ReadHeaderText(const std::string& ini, const char* key, uint32_t size) {
  if (ini.empty()) return {};
  std::vector<char> value(size, '\0');
  (void)ProfileGetString(kUpdateInfoSection, key, "", value.data(), size, ini.c_str());
  return value.data();
}

void DropHeaderFile(std::string* ini) {
  if (ini->empty()) return;
  (void)ProfileWriteString(nullptr, nullptr, nullptr, ini->c_str());
  DropFile(ini);
}

void DropFile(std::string* path) {
  if (path->empty()) return;
  (void)DeleteFileChecked(path->c_str(), 0);
  path->clear();
}

uint32_t HeaderPlatformId(const std::string& ini) {
  return GetPlatformId(ReadHeaderText(ini, "platform", kPlatformNameSize))
      .value_or(kAnyOtherPlatform);
}
