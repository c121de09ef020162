// The host's calls on the pico updates of a context.

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/engine/common/update_run_count.h"
#include "updater/pico/pico_manager.h"

namespace {

// The checks both exports share, before any lock: a context with a pico
// manager, settings with an event callback, a result record of its size.
UPD_ERROR CheckPicoEntry(const UPD_PICO_PARAMS* params, const void* result, uint32_t result_size,
                         uint32_t minimum_size) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (params == nullptr || params->context == nullptr || params->context->picoManager == nullptr) {
    return kUpdNoContext;
  }
  const UPD_ERROR refusal = CheckEntry(params->context, params->settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  return result == nullptr || result_size < minimum_size ? kUpdResultTooSmall : kUpdOk;
}

}  // namespace

UPD_ERROR UpdGetPicoUpdates(const UPD_PICO_PARAMS* params, UPD_PICO_LIST_RESULT* result) {
  const UPD_ERROR refusal = CheckPicoEntry(params, result, result != nullptr ? result->cbSize : 0,
                                           sizeof(UPD_PICO_LIST_RESULT));
  if (refusal != kUpdOk) return refusal;
  result->cbSize = sizeof(UPD_PICO_LIST_RESULT);
  // No context lock: the manager's own lock guards its map.
  return GuardExport([&] {
    UPDATER_CONTEXT* context = params->context;
    return context->picoManager->GetPicoUpdates(params->settings, context->modVerPath,
                                                UpdateRunCount(), &result->picos);
  });
}

UPD_ERROR UpdPerformPicoUpdate(const UPD_PICO_PARAMS* params, UPD_PICO_UPDATE_RESULT* result) {
  const UPD_ERROR refusal = CheckPicoEntry(params, result, result != nullptr ? result->cbSize : 0,
                                           sizeof(UPD_PICO_UPDATE_RESULT));
  if (refusal != kUpdOk) return refusal;
  UPDATER_CONTEXT* context = params->context;
  return GuardExport([&]() -> UPD_ERROR {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    call.Bind(params->settings);
    if (context->backupStore->IsUpdateBlocked()) return kUpdUpdatesBlocked;
    CPicoManager& manager = *context->picoManager;
    // Folders a rollback moved aside come back before the next update.
    static_cast<void>(manager.RecoverRollbacks());
    result->cbSize = sizeof(UPD_PICO_UPDATE_RESULT);
    const PicoRun run{*context, *context->session, context->serverRoot, context->currentVerPath,
                      RunCancellation(context->runCancel)};
    return manager.PerformUpdate(run, params->picoId);
  });
}
