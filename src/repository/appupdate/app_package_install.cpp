#include <memory>

#include "platform/os/os_file.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_temp.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "repository/appupdate/app_update_manager.h"
#include "updater/engine/install/pcu_installer.h"

namespace {

constexpr char kInstallPrefix[] = "PCU";
// Room for a temporary path, as the OS allows.
constexpr size_t kPathSlotBytes = 4096;
// Read access, held with a lock while the host installs from the file.
constexpr uint32_t kLockedRead = kOsAccessRead | kOsAccessLock;

struct FileCloser {
  void operator()(OS_FILE* file) const { (void)OsFileClose(file); }
};

// Deletes the temporary package when the install is over, whatever its end.
class TemporaryPackage {
 public:
  explicit TemporaryPackage(const char* path) : path_(path) {}
  ~TemporaryPackage() { (void)OsFileDelete(path_.c_str(), nullptr); }
  TemporaryPackage(const TemporaryPackage&) = delete;
  TemporaryPackage& operator=(const TemporaryPackage&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

UpdError AppUpdateManager::InstallPackage(CRepositoryClient& client,
                                          const AppUpdateRecord& record) {
  char name[kPathSlotBytes] = {};
  if (OsGetTempFileName(kInstallPrefix, name, sizeof name, nullptr) != 0 || name[0] == '\0') {
    return kUpdTempFileFailed;
  }
  const TemporaryPackage package(name);
  const RepositoryRun& run = client.Run();
  if (UpdError code = client.DownloadPackage(run.fields.product, record, package.path());
      code != kUpdOk) {
    return code;
  }
  // Declared after the package so that it is closed before the delete.
  const std::unique_ptr<OS_FILE, FileCloser> held(
      FileOpen(package.path().c_str(), kLockedRead, kOsOpenExisting, 0));
  if (held == nullptr) return kUpdOpenFailed;
  if (UpdError code = CRepositoryClient::VerifyFileHash(record, package.path()); code != kUpdOk) {
    return code;
  }
  if (run.installer == nullptr) return kUpdNotSupported;
  return static_cast<UpdError>(run.installer->Install(&run.settings, package.path().c_str()));
}
