#include "updater/engine/catalogue/catalogue_download.h"

#include <string>
#include <utility>

#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_fields.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/catalogue_category.h"
#include "updater/engine/catalogue/catalogue_roads.h"
#include "updater/engine/servers/configured_server.h"

namespace {

void SetServerUrl(char (&field)[UPD_PATH_SIZE], const std::string& url) {
  SafeStrCopy(field, sizeof field, url.c_str());
}

// The catalogue is in place: the run learns where it came from, and a
// catalogue of no use for the category is refused.
UpdError FinishFetch(CatalogueRun& run, const char* catalog_path, uint32_t category,
                     const CatalogueOutcome& outcome) {
  SetServerUrl(run.server.catalogueBaseUrl, outcome.serverUrl);
  SetServerUrl(run.server.serverRoot, NormaliseServerUrl(outcome.serverUrl));
  // The file was replaced, taken or not: the inline sections of package and
  // pico downloads are read from it through the profile cache.
  ProfileCacheRemoveFile(catalog_path);
  if (CheckUpdateVerCategory(outcome.catalogue, category)) {
    static_cast<void>(DeleteFileChecked(outcome.keptCopy.c_str(), 0));
    return kUpdCategoryMissing;
  }
  run.state.keptCatalogue = outcome.result == kUpdNotModified ? 1 : 0;
  return kUpdOk;
}

}  // namespace

Result<Catalogue> DownloadUpdateVer(CatalogueRun& run, const char* catalog_path, const char* suffix,
                                    uint32_t category, bool mode, const char* server) {
  const CatalogueRequest request = MakeCatalogueRequest(run.host.settings, mode);
  const std::string configured =
      server != nullptr ? std::string(server) : HostFieldString(run.host.settings->updateServer);
  const CatalogueListingScope listing(run.session);
  CatalogueOutcome outcome =
      IsAutoSelectServer(configured.c_str())
          ? FetchFromChosenServer(run, request, catalog_path, suffix, mode)
          : FetchFromConfiguredServer(run, request, catalog_path, configured.c_str(), suffix);
  if (outcome.result != kUpdOk && outcome.result != kUpdNotModified) {
    return static_cast<UpdError>(outcome.result);
  }
  const UpdError finished = FinishFetch(run, catalog_path, category, outcome);
  if (finished != kUpdOk) return finished;
  return std::move(outcome.catalogue);
}
