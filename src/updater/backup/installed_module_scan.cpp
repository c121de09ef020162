#include "updater/backup/installed_module_scan.h"

#include "platform/util/file_finder.h"
#include "platform/util/host_bridge.h"
#include "updater/engine/engine_module_info.h"

namespace {

// The engine of one scan, handed back however the scan ends.
class EngineLease {
 public:
  explicit EngineLease(const UPDATER_SETTINGS* settings)
      : settings_(settings), pair_(NotifyHostEvent28(settings)) {}
  ~EngineLease() {
    if (Held()) NotifyHostEvent29(settings_, &pair_);
  }
  EngineLease(const EngineLease&) = delete;
  EngineLease& operator=(const EngineLease&) = delete;

  [[nodiscard]] bool Held() const { return pair_.hostWord != 0 && pair_.entry != nullptr; }
  [[nodiscard]] const ENGINE_DISPATCH* Pair() const { return &pair_; }

 private:
  const UPDATER_SETTINGS* settings_;
  ENGINE_DISPATCH pair_;
};

}  // namespace

void ListInstalledModules(CListBase& list, const UPDATER_SETTINGS* settings,
                          const char* modules_folder) {
  list.RemoveAll();
  EngineLease engine(settings);
  if (!engine.Held()) return;
  for (const char* path : CFileFinder(modules_folder, "em*.dat", kOsAttrRegular)) {
    _COMPONENT_INFO record;
    record.file = path;
    static_cast<void>(ReadModuleInfoFromEngine(list, engine.Pair(), &record));
  }
}
