// The export of the catalogue step alone.

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/export_guard.h"
#include "updater/engine/catalogue/catalogue_fallback.h"

namespace {

// Rounds of a host's own catalogue download.
constexpr uint32_t kHostCatalogueAttempts = 3;

}  // namespace

UPD_ERROR UpdDownloadVERFile(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  if (context == nullptr) return kUpdNoContext;
  if (settings == nullptr) return kUpdNoSettings;
  return GuardExport([&] { return DownloadVerLocked(context, settings, kHostCatalogueAttempts); });
}
