#include "platform/util/file_lock.h"

#include "platform/os/os_error.h"
#include "platform/os/os_file_info.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_time.h"

namespace {

// Each new open follows a removal of the name by another holder; more of them
// in a row than this means the name is being churned, and the take fails
// rather than chase it.
constexpr int kReopenTries = 16;
// Pause between two tries of a busy lock.
constexpr uint32_t kBusyRetryMs = 20;

}  // namespace

CFileLock::Result CFileLock::Take(const char* path, Kind kind, uint32_t wait_ms) {
  Release();
  const uint32_t access =
      (kind == Kind::kExclusive ? kOsAccessWrite : kOsAccessRead) | kOsAccessLock;
  const uint64_t start = OsGetTickCountMs();
  int reopens = 0;
  for (;;) {
    OS_FILE* file = OsFileOpen(path, nullptr, access, kOsOpenAlways);
    if (file != nullptr) {
      if (OsFileIsAtPath(file, path)) {
        file_ = file;
        path_ = path;
        kind_ = kind;
        return Result::kHeld;
      }
      OsFileClose(file);
      if (++reopens > kReopenTries) return Result::kFailed;
      continue;
    }
    if (OsGetLastError() != kOsTimedOut) return Result::kFailed;
    if (OsGetTickCountMs() - start >= wait_ms) return Result::kBusy;
    OsSleep(kBusyRetryMs);
  }
}

void CFileLock::RemoveAndRelease() {
  if (file_ != nullptr && kind_ == Kind::kExclusive && OsFileIsAtPath(file_, path_.c_str())) {
    (void)OsFileDelete(path_.c_str(), nullptr);
  }
  Release();
}

void CFileLock::Release() {
  if (file_ == nullptr) return;
  (void)OsFileClose(file_);
  file_ = nullptr;
  path_.clear();
}
