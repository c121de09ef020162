#include "updater/engine/catalogue/catalogue_fallback.h"

#include <iterator>
#include <string>
#include <utility>

#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_bridge.h"
#include "platform/util/host_fields.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/catalogue_download.h"
#include "updater/engine/common/component_info.h"
#include "updater/engine/servers/configured_server.h"
#include "updater/engine/servers/default_servers.h"
#include "updater/engine/servers/server_groups.h"
#include "updater/engine/servers/server_roulette.h"
#include "updater/engine/session/download_session.h"

namespace {

// Where each kind of catalogue lies, and what its sections hold, in the
// order of CatalogueKind.
struct CatalogueFiles {
  CatalogueKind kind;
  const char* CataloguePaths::*catalogue;
  const char* CataloguePaths::*last;
  const char* suffix;
  uint32_t category;
};

constexpr CatalogueFiles kCatalogueFiles[] = {
    {CatalogueKind::kCurrent, &CataloguePaths::current, &CataloguePaths::currentLast, "",
     kCategoryEngine},
    {CatalogueKind::kMirrorEngine, &CataloguePaths::updVer, &CataloguePaths::lastUpdVer, "",
     kCategoryEngine},
    {CatalogueKind::kMirrorDll, &CataloguePaths::updDllVer, &CataloguePaths::lastUpdDllVer, "dll",
     kCategoryDll},
    {CatalogueKind::kMirrorDylib, &CataloguePaths::updDylibVer, &CataloguePaths::lastUpdDylibVer,
     "dylib", kCategoryDylib},
};

constexpr bool InKindOrder() {
  for (size_t i = 0; i < std::size(kCatalogueFiles); ++i) {
    if (static_cast<size_t>(kCatalogueFiles[i].kind) != i) return false;
  }
  return true;
}
static_assert(InKindOrder(), "kCatalogueFiles is indexed by CatalogueKind");

const CatalogueFiles& FilesOf(CatalogueKind kind) {
  return kCatalogueFiles[static_cast<size_t>(kind)];
}

// The catalogue's redirect: section "VER", key "ver"; "auto" draws.
constexpr char kRedirectSection[] = "VER";
constexpr char kRedirectKey[] = "ver";
constexpr char kRedirectDraw[] = "auto";

// The refresh rounds follow only this exact word ("auto" chooses too, but
// keeps the list it has).
constexpr char kAutoSelect[] = "AUTOSELECT";

// One catalogue step's fixed arguments, and the catalogue fetched last.
struct CatalogueStep {
  CatalogueRun& run;
  const char* catalog;
  const char* suffix;
  uint32_t category;
  bool mode;
  Catalogue catalogue;

  UpdError Fetch(const char* server) {
    Result<Catalogue> fetched = DownloadUpdateVer(run, catalog, suffix, category, mode, server);
    if (!fetched) return fetched.code();
    catalogue = std::move(fetched).value();
    return kUpdOk;
  }
};

// The servers that the catalogue lists for the settings' group, own
// weights, resolved against the server it came from.
CDefServersArray ListedServers(const CatalogueStep& step) {
  CDefServersArray servers;
  const UPDATER_SETTINGS* settings = step.run.host.settings;
  static_cast<void>(LoadServerList(servers, step.catalogue.Document(), settings->serverGroup,
                                   nullptr, step.run.server.serverRoot, settings));
  return servers;
}

// Fetches while each catalogue names default servers other than the one it
// came from; those are stored (when it proved its origin) and drawn from
// next.
UpdError RefreshRounds(CatalogueStep& step, uint32_t attempts) {
  const UPDATER_SETTINGS* settings = step.run.host.settings;
  for (uint32_t round = 0; round < attempts; ++round) {
    const UpdError result = step.Fetch(nullptr);
    if (result != kUpdOk) return result;
    if (!step.mode ||
        AsciiStrICmp(HostFieldString(settings->updateServer).c_str(), kAutoSelect) != 0) {
      break;
    }
    const CDefServersArray listed = ListedServers(step);
    if (listed.GetSize() == 0 || listed.ContainsUrl(step.run.server.serverRoot)) break;
    static_cast<void>(SaveDefaultServers(settings, step.catalogue.Document(),
                                         step.run.server.serverRoot, step.catalogue.Trust()));
  }
  return kUpdOk;
}

// A host that declines leaving a mirror keeps the run on it.
bool HostKeepsMirror(const UPDATER_SETTINGS* settings) {
  if (!HasHostCallback(settings)) return false;
  return NotifyHostServerFallback(settings) != 0 && IsMirrorUpdateUrl(settings) &&
         settings->develChannel == 0;
}

// The catalogue's "VER" redirect: another server, or "auto" for a draw over
// the listed servers until one delivers (kUpdSourceUnreadable when none
// does).
UpdError FollowRedirect(CatalogueStep& step) {
  char target[UPD_PATH_SIZE] = {};
  step.catalogue.CopyText(kRedirectSection, kRedirectKey, "", target);
  if (target[0] == '\0') return kUpdOk;
  step.run.session.CloseHttpTransports();
  if (AsciiStrICmp(target, kRedirectDraw) != 0) return step.Fetch(target);
  CServerRoulette roulette(ListedServers(step));
  while (const _DEF_SERVER* server = roulette.PickServer()) {
    const std::string url = server->url;
    if (step.Fetch(url.c_str()) == kUpdOk) return kUpdOk;
    if (step.run.cancellation.IsCancelled()) return kUpdStopped;
  }
  return kUpdSourceUnreadable;
}

// A catalogue taken: marked new unless the stored one was kept, its
// servers stored (when it proved its origin) and copied as the last one.
void TakeCatalogue(CatalogueStep& step, const char* last_catalog) {
  step.run.state.newCatalogue = step.run.state.keptCatalogue ^ 1;
  if (step.mode) {
    static_cast<void>(SaveDefaultServers(step.run.host.settings, step.catalogue.Document(),
                                         step.run.server.serverRoot, step.catalogue.Trust()));
  }
  static_cast<void>(
      FileCopy(step.catalog, last_catalog, kFileCopyOverwrite | kFileCopyCreateFolder));
  // The mirror's inline sections, the update hash and the host's component
  // list read it through the profile cache.
  ProfileCacheRemoveFile(last_catalog);
}

UpdError RunStep(CatalogueStep& step, const char* last_catalog, uint32_t attempts) {
  step.run.state.Reset();
  const UpdError fetched = RefreshRounds(step, attempts);
  if (fetched != kUpdOk) return fetched;
  if (HostKeepsMirror(step.run.host.settings)) return kUpdMirrorFallbackRefused;
  const UpdError result = FollowRedirect(step);
  if (result == kUpdOk) TakeCatalogue(step, last_catalog);
  return result;
}

}  // namespace

Result<Catalogue> DownloadUpdateVerWithFallback(CatalogueRun& run, const char* catalog_path,
                                                const char* last_catalog_path, const char* suffix,
                                                uint32_t category, bool mode, uint32_t attempts) {
  CatalogueStep step{run, catalog_path, suffix, category, mode, Catalogue()};
  const UpdError result = RunStep(step, last_catalog_path, attempts);
  run.lastResult = result;
  if (result != kUpdOk) return result;
  return std::move(step.catalogue);
}

const char* CataloguePathOf(const CataloguePaths& paths, CatalogueKind kind) {
  return paths.*FilesOf(kind).catalogue;
}

uint32_t CatalogueCategoryOf(CatalogueKind kind) { return FilesOf(kind).category; }

Result<Catalogue> DownloadCatalogue(CatalogueRun& run, CatalogueKind kind, bool mode,
                                    uint32_t attempts) {
  const CatalogueFiles& files = FilesOf(kind);
  return DownloadUpdateVerWithFallback(run, run.catalogues.*files.catalogue,
                                       run.catalogues.*files.last, files.suffix, files.category,
                                       mode, attempts);
}
