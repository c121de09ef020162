#include "updater/engine/install/delta_install.h"

#include <optional>
#include <string>

#include "platform/os/os_folder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/engine/install/delta_step.h"
#include "updater/engine/package/opened_package.h"
#include "updater/engine/package/update_package.h"

namespace {

constexpr uint32_t kFileNameSize = UPD_PATH_SIZE;
constexpr uint32_t kModuleNameSize = 64;
constexpr char kRawSuffix[] = ".raw";
constexpr char kBaseFolder[] = "base_nonnups/";
// Overwrite, copy when a rename cannot, create the folder, flush: the store
// lies under the update folder, possibly on another file system.
constexpr uint32_t kStoreMoveFlags = 0x5F;

// The temporary files of one patch step, deleted however it ends; the output
// has been moved away after a success.
struct StepFiles {
  StepFiles() = default;
  StepFiles(const StepFiles&) = delete;
  StepFiles& operator=(const StepFiles&) = delete;
  ~StepFiles() {
    DropFile(&patch);
    DropFile(&baseCopy);
    DropFile(&output);
    if (!succeeded) DropFile(&raw);
  }

  std::string patch;
  std::string output;
  std::string baseCopy;
  std::optional<PackageInfo> info;
  std::string raw;
  bool succeeded = false;
};

bool MakeTempFileRetrying(const InstallRun& run, std::string* path) {
  if (MakeInstallTempFile(run, path)) return true;
  // The folder may have gone meanwhile.
  return run.tempFolder != nullptr && OsCreateFolderTree(run.tempFolder) == 0 &&
         MakeInstallTempFile(run, path);
}

UPD_ERROR PrepareBase(const InstallRun& run, const _COMPONENT_INFO& entry, bool base_is_container,
                      StepFiles* files, std::string* base) {
  if (!base_is_container) {
    *base = entry.basePath;
    return kUpdOk;
  }
  if (!MakeInstallTempFile(run, &files->baseCopy)) return kUpdTempFileFailed;
  *base = files->baseCopy;
  const Result<OpenedPackage> container =
      OpenedPackage::Open(entry.basePath.c_str(), PackageRead::kPayload, run.skipSignature);
  if (!container) return container.code();
  return container->WritePayload(files->baseCopy.c_str());
}

UPD_ERROR StoreResult(StepFiles& files, const std::string& store_path) {
  if (FileExists(files.raw.c_str())) {
    const std::string raw_store = store_path + kRawSuffix;
    const UPD_ERROR rc = FileMove(files.raw.c_str(), raw_store.c_str(), kStoreMoveFlags);
    if (rc != kUpdOk) return rc;
  }
  return FileMove(files.output.c_str(), store_path.c_str(), kStoreMoveFlags);
}

UPD_ERROR PlaceResult(const InstallRun& run, StepFiles& files, const char* store_path) {
  const PackageInfo* info = files.info ? &*files.info : nullptr;
  const auto build = static_cast<uint32_t>(ReadHeaderInt(info, "build", 0));
  const std::string file_name = ReadHeaderText(info, "filename", kFileNameSize);
  const std::string type = ReadHeaderText(info, "type", kModuleNameSize);
  if (store_path != nullptr && run.mode != InstallMode::kStaged) {
    return StoreResult(files, store_path);
  }
  return run.state->InstallModuleFile(files.output.c_str(), file_name.c_str(), type.c_str(), build,
                                      HeaderPlatformId(info), run.mode);
}

}  // namespace

UpdError InstallNupPackageEx(const InstallRun& run, const _COMPONENT_INFO& entry,
                             bool base_is_container, const char* store_path) {
  StepFiles files;
  const bool named =
      MakeTempFileRetrying(run, &files.patch) && MakeTempFileRetrying(run, &files.output);
  if (HasDownloadFailed(entry)) return kUpdNotPending;
  if (!named) return kUpdTempFileFailed;
  Result<OpenedPackage> patch =
      OpenedPackage::Open(entry.localFile.c_str(), PackageRead::kPayload, run.skipSignature);
  if (!patch) return patch.code();
  UPD_ERROR rc = patch->WritePayload(files.patch.c_str());
  files.info = std::move(patch.value()).TakeInfo();
  if (rc != kUpdOk) return static_cast<UpdError>(rc);
  std::string base;
  rc = PrepareBase(run, entry, base_is_container, &files, &base);
  if (rc != kUpdOk) return static_cast<UpdError>(rc);
  files.raw = files.output + kRawSuffix;
  (void)DeleteFileChecked(files.raw.c_str(), 0);
  rc = ApplyDeltaPackage(run, base.c_str(), files.patch.c_str(), files.output.c_str(), true);
  if (rc != kUpdOk) return static_cast<UpdError>(rc);
  rc = PlaceResult(run, files, store_path);
  files.succeeded = rc == kUpdOk;
  return static_cast<UpdError>(rc);
}

void BuildBaseNonNups(const InstallRun& run) {
  const InstallTarget& target = *run.target;
  CReverseList& reverse = target.reverseList;
  reverse.FillBasePaths(target.baseNupList);
  InstallRun direct = run;
  direct.mode = InstallMode::kDirect;
  const std::string pattern =
      std::string(target.host.updateFolder) + kBaseFolder + kPackageNameFormat;
  for (const _COMPONENT_INFO& entry : reverse) {
    if (!IsToInstall(entry)) continue;
    char store[UPD_PATH_SIZE] = {};
    if (!CreateUniqueFile(pattern.c_str(), store, sizeof store)) continue;
    if (InstallNupPackageEx(direct, entry, false, store) != kUpdOk) {
      (void)DeleteFileChecked(store, 0);
    }
  }
}
