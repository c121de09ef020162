#pragma once

#include <string>

#include "platform/util/file_lock.h"
#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// The lock file in the modules folder that tells live installations from
// dead ones. Every installation holds it shared for its whole length, from
// before its temporary folder is made until after it is deleted; a process
// that dies lets it go. Whoever gets it exclusively therefore knows that no
// installation into the folder is alive, in this process or another, and
// may remove what dead ones left. The last one out removes the file.
inline constexpr char kInstallLockName[] = "install.lock";

// Held by one installation. Taking it first removes the leftovers of dead
// installations when no other one is alive (else they are left alone).
class InstallLock {
 public:
  explicit InstallLock(const HostBinding* context);
  ~InstallLock();
  InstallLock(const InstallLock&) = delete;
  InstallLock& operator=(const InstallLock&) = delete;

 private:
  std::string path_;
  CFileLock lock_;
};

// UpdCleanupModules' work: the leftovers of dead installations when no
// installation into the modules folder is alive (RemoveDeadInstallLeftovers
// and its code), else nothing and kUpdBusy.
[[nodiscard]] UpdError CleanupDeadInstallations(const HostBinding* context);
