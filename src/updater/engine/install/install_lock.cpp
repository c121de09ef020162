#include "updater/engine/install/install_lock.h"

#include "platform/os/os_folder.h"
#include "platform/util/update_errors.h"
#include "updater/engine/install/install_recovery.h"

namespace {

// An exclusive holder only deletes leftovers, which takes moments. One that
// keeps the lock longer is stuck, and the installation goes on without the
// lock rather than hang.
constexpr uint32_t kSharedWaitMs = 30000;

std::string LockPath(const HostBinding* context) {
  return std::string(context->modulesFolder) + kInstallLockName;
}

}  // namespace

InstallLock::InstallLock(const HostBinding* context) : path_(LockPath(context)) {
  // The folder may not exist yet; the installation makes it anyway, and the
  // lock file must be there before anything else of the installation is.
  (void)OsCreateFolderTree(context->modulesFolder);
  // flock cannot turn an exclusive lock into a shared one in one step; in
  // between, another taker may clean up too, and finds nothing of this
  // installation, which has made nothing yet.
  CFileLock exclusive;
  if (exclusive.Take(path_.c_str(), CFileLock::Kind::kExclusive, 0) == CFileLock::Result::kHeld) {
    (void)RemoveDeadInstallLeftovers(context);
  }
  exclusive.Release();
  (void)lock_.Take(path_.c_str(), CFileLock::Kind::kShared, kSharedWaitMs);
}

InstallLock::~InstallLock() {
  lock_.Release();
  CFileLock exclusive;
  if (exclusive.Take(path_.c_str(), CFileLock::Kind::kExclusive, 0) == CFileLock::Result::kHeld) {
    exclusive.RemoveAndRelease();
  }
}

UpdError CleanupDeadInstallations(const HostBinding* context) {
  if (context == nullptr) return kUpdDeleteFailed;
  CFileLock exclusive;
  switch (exclusive.Take(LockPath(context).c_str(), CFileLock::Kind::kExclusive, 0)) {
    case CFileLock::Result::kHeld:
      break;
    case CFileLock::Result::kBusy:
      return kUpdBusy;
    case CFileLock::Result::kFailed:
      // No lock file can be made where nothing can be deleted either.
      return kUpdDeleteFailed;
  }
  const UpdError result = RemoveDeadInstallLeftovers(context);
  exclusive.RemoveAndRelease();
  return result;
}
