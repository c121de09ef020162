#include "updater/engine/catalogue/catalogue_download.h"

#include <string>

#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_fields.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/engine/catalogue/catalogue_category.h"
#include "updater/engine/catalogue/catalogue_roads.h"
#include "updater/engine/servers/configured_server.h"

namespace {

void SetContextUrl(char (&field)[UPD_PATH_SIZE], const std::string& url) {
  SafeStrCopy(field, sizeof field, url.c_str());
}

// The catalogue is in place: the context learns where it came from, and a
// catalogue of no use for the category is refused.
UPD_ERROR FinishFetch(CServerSelectionState& state, UPDATER_CONTEXT& context,
                      const char* catalog_path, uint32_t category,
                      const CatalogueOutcome& outcome) {
  SetContextUrl(context.catalogueBaseUrl, outcome.serverUrl);
  SetContextUrl(context.serverRoot, NormaliseServerUrl(outcome.serverUrl));
  ProfileCacheRemoveFile(catalog_path);
  if (CheckUpdateVerCategory(catalog_path, category)) {
    static_cast<void>(DeleteFileChecked(outcome.keptCopy.c_str(), 0));
    return kUpdCategoryMissing;
  }
  state.keptCatalogue = outcome.result == kUpdNotModified ? 1 : 0;
  return kUpdOk;
}

}  // namespace

UPD_ERROR DownloadUpdateVer(CServerSelectionState& state, UPDATER_CONTEXT& context,
                            const char* catalog_path, const char* suffix, uint32_t category,
                            bool mode, const char* server, CatalogueTrust& trust) {
  trust = CatalogueTrust::kUnchecked;
  const CatalogueRequest request = MakeCatalogueRequest(context.settings, mode);
  const std::string configured =
      server != nullptr ? std::string(server) : HostFieldString(context.settings->updateServer);
  const CatalogueListingScope listing(context);
  const CatalogueOutcome outcome =
      IsAutoSelectServer(configured.c_str())
          ? FetchFromChosenServer(context, request, catalog_path, suffix, mode)
          : FetchFromConfiguredServer(context, request, catalog_path, configured.c_str(), suffix);
  if (outcome.result != kUpdOk && outcome.result != kUpdNotModified) return outcome.result;
  const UPD_ERROR finished = FinishFetch(state, context, catalog_path, category, outcome);
  if (finished == kUpdOk) trust = outcome.trust;
  return finished;
}
