#include "updater/backup/backup_copy_names.h"

#include <algorithm>
#include <cinttypes>
#include <utility>

#include "platform/util/strings.h"
#include "updater/engine/common/component_tables.h"

namespace {

// Longest name either form makes, NUL included: the id, the build and the
// number at their widest take 63 bytes, so no name is ever cut short.
constexpr size_t kCopyNameSize = 64;

// The module's own name for index 0, its numbered forms after it.
std::string CopyNameOf(const UPDATER_BACKUP_MODULE_INFO& module, size_t index) {
  char name[kCopyNameSize];
  const int id = static_cast<int>(module.id - 1);
  const char* width = Is64BitPlatform(module.platform) ? "64" : "32";
  const auto build = static_cast<int64_t>(module.build);
  if (index == 0) {
    SafeSnprintf(name, sizeof name, "em%03d_%s-%" PRId64 ".dat", id, width, build);
  } else {
    SafeSnprintf(name, sizeof name, "em%03d_%s-%" PRId64 "_%zu.dat", id, width, build, index);
  }
  return name;
}

bool IsNamed(const std::vector<UPDATER_BACKUP_MODULE_INFO>& held, const std::string& file) {
  return std::any_of(held.begin(), held.end(),
                     [&](const UPDATER_BACKUP_MODULE_INFO& record) { return record.file == file; });
}

// Only records of this very module build name the file.
bool ServesOnly(const std::vector<UPDATER_BACKUP_MODULE_INFO>& held, const std::string& file,
                const UPDATER_BACKUP_MODULE_INFO& module) {
  return std::none_of(held.begin(), held.end(), [&](const UPDATER_BACKUP_MODULE_INFO& record) {
    return record.file == file && !IsSameModule(record, module);
  });
}

}  // namespace

std::string BackupCopyName(const UPDATER_BACKUP_MODULE_INFO& module) {
  return CopyNameOf(module, 0);
}

BackupCopyChoice ChooseBackupCopy(const UPDATER_BACKUP_MODULE_INFO& module,
                                  const std::vector<UPDATER_BACKUP_MODULE_INFO>& held) {
  for (const UPDATER_BACKUP_MODULE_INFO& record : held) {
    if (IsSameModule(record, module) && ServesOnly(held, record.file, module)) {
      return {record.file, true};
    }
  }
  // Each record takes at most one name, so one of the first held.size() + 1
  // is free.
  for (size_t index = 0;; ++index) {
    std::string name = CopyNameOf(module, index);
    if (!IsNamed(held, name)) return {std::move(name), false};
  }
}
