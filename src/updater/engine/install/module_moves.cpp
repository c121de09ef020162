#include "updater/engine/install/module_moves.h"

#include <utility>

#include "platform/os/os_file_ops.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"

namespace {

InstallStepObserver& Observer() {
  static InstallStepObserver observer;
  return observer;
}

}  // namespace

void SetInstallStepObserver(InstallStepObserver observer) { Observer() = std::move(observer); }

void NotifyInstallStep(InstallStep step, const char* from, const char* to) {
  if (Observer()) Observer()(step, from, to);
}

UpdError MoveIntoPlace(const char* from, const char* to) {
  if (CreateParentFolder(to) != kUpdOk) return kUpdMoveFailed;
  NotifyInstallStep(InstallStep::kRename, from, to);
  return OsFileRename(from, nullptr, to, nullptr, kOsRenameOverwrite) == 0 ? kUpdOk
                                                                           : kUpdMoveFailed;
}

KeepResult KeepOldFile(const char* target, const char* old) {
  if (!FileExists(target)) return KeepResult::kMissing;
  if (DeleteFileChecked(old, 0) != kUpdOk) return KeepResult::kFailed;
  if (OsFileLink(target, old) == 0) return KeepResult::kKept;
  // Without hard links (or for a folder, which the copy refuses) the old file
  // is copied; the copy keeps its mode and times.
  if (OsFileCopy(target, nullptr, old, nullptr, kOsCopyOverwrite) == 0) return KeepResult::kKept;
  (void)DeleteFileChecked(old, 0);
  return KeepResult::kFailed;
}
