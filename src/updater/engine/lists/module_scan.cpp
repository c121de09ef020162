#include "updater/engine/lists/module_scan.h"

#include <string>

#include "platform/os/os_file_info.h"
#include "platform/util/file_finder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_bridge.h"
#include "platform/util/path_helpers.h"
#include "updater/engine/common/update_folders.h"
#include "updater/engine/lists/engine_module_info.h"

namespace {

// The rebuilt modules of "base_nonnups" carry package names.
constexpr char kBaseNonNupPattern[] = "*.nup";
constexpr char kInstalledModulePattern[] = "em*.dat";

// The engine the host hands out through event 28 for the length of a scan;
// released through event 29 only when one was handed out.
class ScanEngine {
 public:
  explicit ScanEngine(const UPDATER_SETTINGS* settings)
      : settings_(settings), dispatch_(NotifyHostEngine(settings)) {}
  ~ScanEngine() {
    if (Available()) NotifyHostEngineEnd(settings_, &dispatch_);
  }
  ScanEngine(const ScanEngine&) = delete;
  ScanEngine& operator=(const ScanEngine&) = delete;

  bool Available() const { return dispatch_.hostWord != 0 && dispatch_.entry != nullptr; }
  const ENGINE_DISPATCH* dispatch() const { return &dispatch_; }

 private:
  const UPDATER_SETTINGS* settings_;
  ENGINE_DISPATCH dispatch_;
};

// Calls read with the path of every regular file of folder that matches
// pattern: neither a folder nor a device or pipe is a module file.
template <class Read>
void ForEachFile(const std::string& folder, const char* pattern, Read read) {
  for (const char* path : CFileFinder(folder.c_str(), pattern, kOsAttrRegular)) {
    read(std::string(path));
  }
}

bool ReadModuleFile(CListBase& list, const ScanEngine& engine, const std::string& path) {
  _COMPONENT_INFO record;
  record.localFile = path;
  return ReadModuleInfoFromEngine(list, engine.dispatch(), &record);
}

}  // namespace

int64_t ScanBaseNonNups(CListBase& list, const UPDATER_SETTINGS* settings,
                        const char* update_folder) {
  const ScanEngine engine(settings);
  if (!engine.Available()) return list.GetSize();
  ForEachFile(PathJoinString(update_folder, kBaseNonNupsFolder), kBaseNonNupPattern,
              [&](const std::string& path) {
                if (!ReadModuleFile(list, engine, path)) (void)DeleteFileChecked(path.c_str(), 0);
              });
  return list.GetSize();
}

void ScanInstalledModules(CListBase& list, const UPDATER_SETTINGS* settings,
                          const char* modules_folder) {
  const ScanEngine engine(settings);
  if (!engine.Available()) return;
  ForEachFile(modules_folder, kInstalledModulePattern,
              [&](const std::string& path) { (void)ReadModuleFile(list, engine, path); });
}

void ScanInstalledModulesEx(CListBase& list, const UPDATER_SETTINGS* settings,
                            const char* modules_folder) {
  list.RemoveAll();
  ScanInstalledModules(list, settings, modules_folder);
}
