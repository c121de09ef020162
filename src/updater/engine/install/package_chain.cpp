#include "updater/engine/install/package_chain.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/install/delta_step.h"
#include "updater/engine/package/opened_package.h"

namespace {

constexpr uint32_t kFileNameSize = UPD_PATH_SIZE;
constexpr uint32_t kModuleNameSize = 64;
constexpr char kRawSuffix[] = ".raw";

// One package of a chain: its payload, the module the step made of it, its
// header (none for an installed module file at the head).
struct ChainSlot {
  std::string payload;
  std::string output;
  std::optional<PackageInfo> info;
  const PackageInfo* header() const { return info ? &*info : nullptr; }
};

// The temporary files of one chain, deleted however it ends. The engine may
// leave a ".raw" file beside the final output; it stays after a success.
class ChainFiles {
 public:
  ChainFiles() = default;
  ChainFiles(const ChainFiles&) = delete;
  ChainFiles& operator=(const ChainFiles&) = delete;
  ~ChainFiles() {
    for (ChainSlot& slot : slots) {
      DropFile(&slot.payload);
      DropFile(&slot.output);
    }
    if (!succeeded) DropFile(&raw);
  }

  std::vector<ChainSlot> slots;
  std::string raw;
  bool succeeded = false;
};

bool IsPending(const _COMPONENT_INFO& entry) { return IsToInstall(entry); }
bool HasFailed(const _COMPONENT_INFO& entry) { return HasDownloadFailed(entry); }

// Opens a package into a new temporary payload and keeps its header.
UpdError OpenPackage(const InstallRun& run, const _COMPONENT_INFO& entry, ChainSlot* slot) {
  if (!MakeInstallTempFile(run, &slot->payload)) return kUpdTempFileFailed;
  Result<OpenedPackage> package =
      OpenedPackage::Open(entry.localFile.c_str(), PackageRead::kPayload, run.skipSignature);
  if (!package) return package.code();
  const UpdError rc = package->WritePayload(slot->payload.c_str());
  slot->info = std::move(package.value()).TakeInfo();
  return rc;
}

// The head of the chain: a full package, or an installed module file kept
// as one (kComponentModuleFile), copied so that the chain never changes it.
UPD_ERROR OpenHead(const InstallRun& run, const _COMPONENT_INFO& entry, ChainSlot* slot,
                   uint32_t* reached, std::string* file_name) {
  if ((entry.flags & kComponentModuleFile) == 0) {
    const UPD_ERROR rc = OpenPackage(run, entry, slot);
    if (rc != kUpdOk) return rc;
    *reached = static_cast<uint32_t>(ReadHeaderInt(slot->header(), "build", -1));
    *file_name = ReadHeaderText(slot->header(), "filename", kFileNameSize);
    return kUpdOk;
  }
  if (!MakeInstallTempFile(run, &slot->payload)) return kUpdTempFileFailed;
  const UPD_ERROR rc = FileCopy(entry.localFile.c_str(), slot->payload.c_str(), kFileCopyOverwrite);
  if (rc != kUpdOk) return rc;
  *reached = static_cast<uint32_t>(entry.build);
  return kUpdOk;
}

// Adds the pending patches of levels 1 to 9 that continue the chain.
UPD_ERROR CollectPatches(const InstallRun& run, const CListBase& list, const char* module,
                         uint32_t platform, uint32_t reached, ChainFiles* files) {
  for (int32_t level = 1; level <= kMaxChainLevel; ++level) {
    const ListIndex at = list.FindEngineModule(module, platform, level, false);
    if (at == kNoEntry || !IsPending(list[at])) return kUpdOk;
    if (HasFailed(list[at])) return kUpdNotPending;
    ChainSlot& slot = files->slots.emplace_back();
    const UPD_ERROR rc = OpenPackage(run, list[at], &slot);
    if (rc != kUpdOk) return rc;
    if (static_cast<uint32_t>(ReadHeaderInt(slot.header(), "base", 0)) != reached) {
      // Based on another build: the chain ends before this level.
      DropFile(&slot.payload);
      files->slots.pop_back();
      return kUpdOk;
    }
    reached = static_cast<uint32_t>(ReadHeaderInt(slot.header(), "build", -1));
  }
  return kUpdOk;
}

// Applies the patches in order, each output the base of the next step. The
// path of the final module goes to final_file.
UPD_ERROR ApplyPatches(const InstallRun& run, ChainFiles* files, std::string* file_name,
                       std::string* final_file) {
  std::vector<ChainSlot>& slots = files->slots;
  std::string* base = &slots[0].payload;
  for (size_t i = 1; i < slots.size(); ++i) {
    if (!MakeInstallTempFile(run, &slots[i].output)) return kUpdTempFileFailed;
    const bool last = i + 1 == slots.size();
    if (last) {
      files->raw = slots[i].output + kRawSuffix;
      (void)DeleteFileChecked(files->raw.c_str(), 0);
    }
    const UpdError rc = ApplyDeltaPackage(run, base->c_str(), slots[i].payload.c_str(),
                                          slots[i].output.c_str(), last);
    if (rc != kUpdOk) return rc;
    if (file_name->empty()) *file_name = ReadHeaderText(slots[i].header(), "filename", kFileNameSize);
    DropFile(base);
    base = &slots[i].output;
  }
  *final_file = *base;
  return kUpdOk;
}

}  // namespace

UpdError InstallNupPackage(const InstallRun& run, const CListBase& list, const char* module,
                           uint32_t platform) {
  const ListIndex head = list.FindEngineModule(module, platform, kLevelFull, false);
  if (head == kNoEntry) return kUpdNoInstalledModule;
  if (!IsPending(list[head]) || HasFailed(list[head])) return kUpdNotPending;
  ChainFiles files;
  uint32_t reached = 0;
  std::string file_name;
  UPD_ERROR rc = OpenHead(run, list[head], &files.slots.emplace_back(), &reached, &file_name);
  if (rc != kUpdOk) return static_cast<UpdError>(rc);
  rc = CollectPatches(run, list, module, platform, reached, &files);
  if (rc != kUpdOk) return static_cast<UpdError>(rc);
  std::string final_file;
  rc = ApplyPatches(run, &files, &file_name, &final_file);
  if (rc != kUpdOk) return static_cast<UpdError>(rc);
  const PackageInfo* ini = files.slots.back().header();
  const auto build = static_cast<uint32_t>(ReadHeaderInt(ini, "build", 0));
  const std::string type = ReadHeaderText(ini, "type", kModuleNameSize);
  rc = run.state->InstallModuleFile(final_file.c_str(), file_name.c_str(), type.c_str(), build,
                                    HeaderPlatformId(ini), run.mode);
  files.succeeded = rc == kUpdOk;
  return static_cast<UpdError>(rc);
}
