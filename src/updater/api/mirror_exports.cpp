// Exports of the mirror.

#include <cstdlib>
#include <iterator>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/os/os_folder.h"
#include "platform/store/profile_cache.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/host_fields.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/lists/list_builder.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/mirror/mirror_pcus.h"
#include "updater/engine/mirror/mirror_staging.h"
#include "updater/engine/package/local_packages.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/run/run_cleanup.h"

namespace {

// The mirror types: all three catalogues, the root one, "dll", "dylib".
constexpr uint32_t kMaxMirrorType = 3;
constexpr uint32_t kCatalogueAttempts = 3;

UPD_ERROR CheckMirrorSettings(const UPDATER_SETTINGS* settings) {
  const MIRROR_SETTINGS* mirror = settings->mirrorSettings;
  if (mirror == nullptr) return kUpdNoMirrorSettings;
  if (mirror->callback == nullptr) return kUpdNoMirrorCallback;
  if (mirror->enabled == 0) return kUpdNothingNew;
  if (mirror->mirrorType > kMaxMirrorType) return kUpdInvalidRequest;
  return kUpdOk;
}


bool IsSoft(UPD_ERROR result) {
  return result == kUpdOk || result == kUpdMissing || result == kUpdNotFound ||
         result == kUpdNothingNew;
}

// The result of a run whose catalogue steps left nothing to mirror.
UPD_ERROR NothingToMirror(UPD_ERROR engine, UPD_ERROR dll, UPD_ERROR dylib) {
  if (dylib == kUpdOk || dylib == kUpdMissing) {
    const bool obtained = engine == kUpdOk || dll == kUpdOk || dylib == kUpdOk;
    return obtained ? kUpdCategoryMissing : kUpdNotFound;
  }
  if (engine == kUpdOk || dll == kUpdOk) return kUpdCategoryMissing;
  const bool skipped = engine == kUpdNothingNew && dll == kUpdNothingNew && dylib == kUpdNothingNew;
  return skipped ? kUpdInvalidRequest : kUpdNotFound;
}

// The results of the three catalogue steps (0x5003 when skipped) and the
// count of the last list preparation that ran.
struct CatalogueSteps {
  UPD_ERROR results[3] = {kUpdNothingNew, kUpdNothingNew, kUpdNothingNew};
  int64_t offered = 0;
};

CatalogueSteps FetchCatalogues(UPDATER_CONTEXT& context, uint32_t type) {
  const struct {
    bool wanted;
    UPD_ERROR (*download)(CServerSelectionState&, UPDATER_CONTEXT&, bool, uint32_t);
    const char* catalogue;
    uint32_t category;
  } steps[] = {{type <= 1, DownloadMirrorUpdateVer, context.updVerPath, kCategoryEngine},
               {type == 0 || type == 2, DownloadMirrorDllVer, context.updDllVerPath, kCategoryDll},
               {type == 0 || type == 3, DownloadMirrorDylibVer, context.updDylibVerPath,
                kCategoryDylib}};
  CatalogueSteps done;
  for (size_t i = 0; i < std::size(steps); ++i) {
    if (!steps[i].wanted) continue;
    done.results[i] = steps[i].download(context.serverState, context, false, kCatalogueAttempts);
    if (done.results[i] == kUpdOk) {
      done.offered = PrepareMirrorLists(context, steps[i].catalogue, steps[i].category);
    }
  }
  return done;
}

// The catalogue steps, the comparison, the staging and the pass.
UPD_ERROR MirrorRun(UPDATER_CONTEXT& context, ContextCall& call, const MIRROR_SETTINGS& mirror) {
  const CatalogueSteps steps = FetchCatalogues(context, mirror.mirrorType);
  for (const UPD_ERROR result : steps.results) {
    if (!IsSoft(result)) return result;
  }
  if (steps.offered == 0) {
    return NothingToMirror(steps.results[0], steps.results[1], steps.results[2]);
  }
  CMirror& cmirror = *context.mirror;
  (void)cmirror.LoadMirrorContents(&mirror, context.updateFolder);
  (void)ScanMirrorNupFolders(context.lists.localList, context.updateFolder);
  CUpdateLists& lists = context.lists;
  const uint32_t to_fetch = cmirror.CompareLists(lists.updateList, lists.continuousList,
                                                 lists.reverseList, lists.componentList,
                                                 lists.localList);
  call.SetPhase(UPD_PHASE_DOWNLOADING);
  uint32_t failed = 0;
  UPD_ERROR result = DownloadMirrorPackages(&context, &failed);
  if (result != kUpdOk) return result;
  call.SetPhase(UPD_PHASE_INSTALLING);
  result = cmirror.Run(context, to_fetch - failed);
  if (result != kUpdOk) return result;
  (void)cmirror.PostProcess(context);
  cmirror.DeleteDroppedFiles();
  call.SetPhase(UPD_PHASE_FINISHING);
  (void)CleanTempMirrorFolder(&context);
  return kUpdOk;
}

}  // namespace

UPD_ERROR UpdPerformMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback);
  if (refusal == kUpdOk) refusal = CheckMirrorSettings(settings);
  if (refusal == kUpdOk) refusal = CheckEntry(context, settings, kCheckBusy);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&]() -> UPD_ERROR {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    context->resultFlags = 0;
    call.Bind(settings);
    ProfileCacheClear();
    call.SetPhase(UPD_PHASE_CHECKING);
    const RunCleanup end(*context);
    context->session->Reset();
    return MirrorRun(*context, call, *settings->mirrorSettings);
  });
}

UPD_ERROR UpdPerformFullMirror(const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return kUpdNoSettings;
  if (settings->mirrorSettings == nullptr) return kUpdNoMirrorSettings;
  return GuardExport([&]() -> UPD_ERROR {
    const std::string data = HostFieldString(settings->mirrorSettings->mirrorFolder) + "/download";
    // A mirror run reads no modules, but a context needs a modules folder.
    const std::string modules = data + "/modules";
    if (OsCreateFolderTree(modules.c_str()) != 0) return kUpdNoContext;
    UPDATER_CONTEXT* context = UpdInitialize2(data.c_str(), modules.c_str(), nullptr, nullptr, 1);
    UPD_ERROR result = kUpdNoContext;
    if (context != nullptr) {
      result = UpdPerformMirror(context, settings);
      UpdUninitialize(context);
    }
    // The whole temporary tree goes, its dot-less sub-folders included.
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);
    return result;
  });
}

UPD_ERROR UpdCopyPcusToMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  return GuardExport([&] { return CopyPcusToMirror(context, settings); });
}
