// Exports that install from, and download into, folders of packages, each
// on a temporary context of its own.

#include <cstdlib>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

#include "platform/store/profile_cache.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/export_guard.h"
#include "updater/api/run_binding.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/lists/list_builder.h"
#include "updater/engine/lists/update_groups.h"
#include "updater/engine/package/local_packages.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/package/package_scan.h"
#include "updater/engine/session/download_session.h"
#include "updater/offline/nup_selection.h"
#include "updater/offline/offline_setup.h"

namespace {

// The smallest result record of UpdDownloadNups: its size and the array.
constexpr uint32_t kDownloadNupsResultSize = 36;
// Rounds of the catalogue download.
constexpr uint32_t kCatalogueAttempts = 3;

// An empty folder stays empty: with a '/' it would name the root folder.
std::string WithSlash(const char* folder) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path.push_back('/');
  return path;
}

// The folder that holds folder (which ends in '/'); empty at the root.
std::string ParentFolder(const std::string& folder) {
  const size_t end = folder.find_last_not_of('/');
  if (end == std::string::npos) return {};
  const size_t slash = folder.rfind('/', end);
  return slash == std::string::npos ? "." : folder.substr(0, slash + 1);
}

// Owns a temporary context for one call.
struct TemporaryContext {
  explicit TemporaryContext(UPDATER_CONTEXT* made) : context(made) {}
  ~TemporaryContext() { UpdUninitialize(context); }
  TemporaryContext(const TemporaryContext&) = delete;
  TemporaryContext& operator=(const TemporaryContext&) = delete;
  UPDATER_CONTEXT* context;
};

UPD_ERROR SetupEngines(const UPDATER_SETTINGS* settings, const char* engine_folder,
                       const char* modules_folder, const char* packages_folder,
                       const char* groups) {
  if (engine_folder == nullptr || modules_folder == nullptr || packages_folder == nullptr) {
    return kUpdNoContext;
  }
  const std::string packages = WithSlash(packages_folder);
  const std::string data = ParentFolder(packages);
  const std::string modules = WithSlash(modules_folder);
  const std::string engine = WithSlash(engine_folder);
  TemporaryContext temporary(
      UpdInitialize3(data.c_str(), modules.c_str(), engine.c_str(), nullptr, nullptr, 0));
  if (temporary.context == nullptr) return kUpdNoContext;
  UPDATER_CONTEXT& context = *temporary.context;
  context.settings = settings;
  UpdateRun run = BindRun(context);
  const UPD_ERROR result = SetupEnginesFromFolder(
      *context.moduleInstaller, InstallTargetOf(run, context.backupStore.get()), packages.c_str(),
      groups == nullptr ? "" : groups);
  static_cast<void>(UpdDeleteDefaultServers(temporary.context, settings));
  return result;
}

UPD_ERROR DownloadNups(const UPD_DOWNLOAD_NUPS_PARAMS& params, UPD_DOWNLOAD_NUPS_RESULT& result) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  // Nothing is installed here, but a context needs a modules folder: the
  // data folder stands in for it.
  UPDATER_INIT_PARAMS init{};
  init.cbSize = sizeof init;
  init.modulesFolder = params.dataFolder;
  init.engineFolder = params.dataFolder;
  init.dataFolder = params.dataFolder;
  init.certificateFolder = params.certificateFolder;
  TemporaryContext temporary(UpdInitialize4(&init));
  UPDATER_CONTEXT* context = temporary.context;
  if (context == nullptr) return kUpdNoContext;
  context->settings = params.settings;
  context->session->Reset();
  UpdateRun run = BindRun(*context);
  CatalogueRun catalogue = CatalogueRunOf(run, *context->session);
  Result<Catalogue> fetched =
      DownloadCatalogue(catalogue, CatalogueKind::kCurrent, true, kCatalogueAttempts);
  UPD_ERROR code = fetched.code();
  if (fetched) {
    run.catalogue = std::move(fetched).value();
    CGroupList groups;
    ParseGroupList(groups, params.groups);
    const std::span<const uint32_t> platforms(
        params.platformIds, params.platformIds == nullptr ? 0 : params.platformCount);
    PrepareNupLists(ListBuildOf(run), ScanNupFolders, groups, platforms);
    code = DownloadPackages(PackageDownloadOf(run, *context->session));
    if (code == kUpdOk) {
      result.cbSize = kDownloadNupsResultSize;
      CListBase downloaded;
      code = SelectNupsForDownload(downloaded, context->updateFolder, groups, platforms,
                                   &result.packages);
      DeleteSelectedFiles(downloaded, kComponentDropped);
    }
  }
  ProfileCacheClear();
  return code;
}

}  // namespace

UPD_ERROR UpdSetupEngines3(const UPDATER_SETTINGS* settings, const char* engineFolder,
                           const char* modulesFolder, const char* packagesFolder,
                           const char* groups) {
  return GuardExport([&] {
    return SetupEngines(settings, engineFolder, modulesFolder, packagesFolder, groups);
  });
}

UPD_ERROR UpdDownloadNups(const UPD_DOWNLOAD_NUPS_PARAMS* params,
                          UPD_DOWNLOAD_NUPS_RESULT* result) {
  if (params == nullptr || params->settings == nullptr) return kUpdNoSettings;
  if (params->dataFolder == nullptr || params->groups == nullptr) return kUpdInvalidRequest;
  if (result == nullptr || result->cbSize < kDownloadNupsResultSize) return kUpdResultTooSmall;
  return GuardExport([&] { return DownloadNups(*params, *result); });
}
