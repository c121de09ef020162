// The export of the catalogue step alone.

#include "platform/util/update_errors.h"
#include "updater/api/catalogue_call.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/api/run_binding.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/session/download_session.h"

namespace {

// Rounds of a host's own catalogue download.
constexpr uint32_t kHostCatalogueAttempts = 3;

}  // namespace

UpdError DownloadVerLocked(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                           uint32_t attempts) {
  const bool running = context->phase.load() != UPD_PHASE_IDLE;
  ContextCall call(context);
  if (call.Stopped()) return kUpdStopped;
  // A running call fetched the catalogue: its result is the answer.
  if (running) return UpdErrorOf(context->lastResult);
  call.Bind(settings);
  context->session->Reset();
  UpdateRun run = BindRun(*context);
  CatalogueRun catalogue = CatalogueRunOf(run, *context->session);
  return DownloadCatalogue(catalogue, CatalogueKind::kCurrent, true, attempts).code();
}

UPD_ERROR UpdDownloadVERFile(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  if (context == nullptr) return kUpdNoContext;
  if (settings == nullptr) return kUpdNoSettings;
  return GuardExport([&] { return DownloadVerLocked(context, settings, kHostCatalogueAttempts); });
}
