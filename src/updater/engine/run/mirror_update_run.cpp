#include "updater/engine/run/mirror_update_run.h"

#include <iterator>

#include "platform/store/profile_cache.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/lists/list_builder.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/mirror/mirror_staging.h"
#include "updater/engine/package/local_packages.h"
#include "updater/engine/run/run_cleanup.h"
#include "updater/engine/session/download_session.h"

namespace {

// Rounds of each catalogue download.
constexpr uint32_t kCatalogueAttempts = 3;

bool IsSoft(UpdError result) {
  return result == kUpdOk || result == kUpdMissing || result == kUpdNotFound ||
         result == kUpdNothingNew;
}

// The result of a run whose catalogue steps left nothing to mirror.
UpdError NothingToMirror(UpdError engine, UpdError dll, UpdError dylib) {
  if (dylib == kUpdOk || dylib == kUpdMissing) {
    const bool obtained = engine == kUpdOk || dll == kUpdOk || dylib == kUpdOk;
    return obtained ? kUpdCategoryMissing : kUpdNotFound;
  }
  if (engine == kUpdOk || dll == kUpdOk) return kUpdCategoryMissing;
  const bool skipped = engine == kUpdNothingNew && dll == kUpdNothingNew && dylib == kUpdNothingNew;
  return skipped ? kUpdInvalidRequest : kUpdNotFound;
}

// The results of the three catalogue steps (kUpdNothingNew when skipped) and the
// count of the last list preparation that ran.
struct CatalogueSteps {
  UpdError results[3] = {kUpdNothingNew, kUpdNothingNew, kUpdNothingNew};
  int64_t offered = 0;
};

CatalogueSteps FetchCatalogues(UpdateRun& run, CDownloadSession& session, uint32_t type) {
  const struct {
    bool wanted;
    CatalogueKind kind;
  } steps[] = {{type <= 1, CatalogueKind::kMirrorEngine},
               {type == 0 || type == 2, CatalogueKind::kMirrorDll},
               {type == 0 || type == 3, CatalogueKind::kMirrorDylib}};
  CatalogueRun catalogue = CatalogueRunOf(run, session);
  CatalogueSteps done;
  for (size_t i = 0; i < std::size(steps); ++i) {
    if (!steps[i].wanted) continue;
    const Result<Catalogue> fetched =
        DownloadCatalogue(catalogue, steps[i].kind, false, kCatalogueAttempts);
    done.results[i] = fetched.code();
    if (fetched) {
      done.offered =
          PrepareMirrorLists(ListBuildOf(run), *fetched, CatalogueCategoryOf(steps[i].kind));
    }
  }
  return done;
}

// The catalogue steps, the comparison, the staging and the pass.
UpdError MirrorRun(UpdateRun& run, EngineServices& services, RunPhases& phases,
                   const MIRROR_SETTINGS& mirror) {
  const CatalogueSteps steps = FetchCatalogues(run, services.session, mirror.mirrorType);
  for (const UpdError result : steps.results) {
    if (!IsSoft(result)) return result;
  }
  if (steps.offered == 0) {
    return NothingToMirror(steps.results[0], steps.results[1], steps.results[2]);
  }
  CMirror& cmirror = services.mirror;
  (void)cmirror.LoadMirrorContents(&mirror, run.host.updateFolder);
  (void)ScanMirrorNupFolders(run.lists.localList, run.host.updateFolder);
  CUpdateLists& lists = run.lists;
  const uint32_t to_fetch =
      cmirror.CompareLists(lists.updateList, lists.continuousList, lists.reverseList,
                           lists.componentList, lists.localList);
  phases.SetPhase(UPD_PHASE_DOWNLOADING);
  uint32_t failed = 0;
  MirrorStaging staging(run.host, services.session, lists, run.catalogues.currentLast);
  UpdError result = UpdErrorOf(DownloadMirrorPackages(staging, &failed));
  if (result != kUpdOk) return result;
  phases.SetPhase(UPD_PHASE_INSTALLING);
  const MirrorPass pass = MirrorPassOf(run);
  result = UpdErrorOf(cmirror.Run(pass, to_fetch - failed));
  if (result != kUpdOk) return result;
  (void)cmirror.PostProcess(pass);
  cmirror.DeleteDroppedFiles();
  phases.SetPhase(UPD_PHASE_FINISHING);
  (void)CleanTempMirrorFolder(&run.host);
  return kUpdOk;
}

}  // namespace

UpdError PerformMirrorUpdate(UpdateRun& run, EngineServices& services, RunPhases& phases,
                             const MIRROR_SETTINGS& mirror) {
  ProfileCacheClear();
  phases.SetPhase(UPD_PHASE_CHECKING);
  const RunCleanup end(run, services);
  services.session.Reset();
  return MirrorRun(run, services, phases, mirror);
}
