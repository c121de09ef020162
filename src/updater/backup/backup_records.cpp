#include "updater/backup/backup_records.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "platform/util/strings.h"

bool IsSameModule(const UPDATER_BACKUP_MODULE_INFO& a, const UPDATER_BACKUP_MODULE_INFO& b) {
  return a.id == b.id && a.build == b.build && a.platform == b.platform &&
         AsciiStrICmp(a.type, b.type) == 0;
}

UPDATER_BACKUP_MODULE_INFO BackupModuleOf(const _COMPONENT_INFO& component,
                                          const char* modules_folder) {
  UPDATER_BACKUP_MODULE_INFO module;
  module.id = component.engineType;
  module.platform = component.platform;
  module.build = component.build;
  SafeStrCopy(module.type, sizeof module.type, component.module);
  const size_t skip = std::strlen(modules_folder);
  module.orig =
      component.localFile.size() > skip ? component.localFile.substr(skip) : std::string();
  return module;
}

bool IsSafeCopyName(const std::string& file) {
  return !file.empty() && file != "." && file != ".." && file.find('/') == std::string::npos;
}

bool IsSafeModulePath(const std::string& orig) {
  if (orig.empty() || orig.front() == '/') return false;
  std::string_view rest = orig;
  for (;;) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) return true;
    rest.remove_prefix(slash + 1);
  }
}

CBackupState::CBackupState(const CBackupState& other) : timestamp_(other.timestamp_) {
  for (const UPDATER_BACKUP_MODULE_INFO& module : other.modules_) modules_.Add(module);
}

CBackupState& CBackupState::operator=(const CBackupState& other) {
  if (this != &other) {
    CBackupState copy(other);
    *this = std::move(copy);
  }
  return *this;
}
