// Exports of the pico updates. Until the pico manager lands each answers its
// entry checks and then 3 (not supported in this build).

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

namespace {

UPD_ERROR CheckPicoEntry(const UPD_PICO_PARAMS* params, const void* result) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (params == nullptr) return kUpdNoContext;
  const UPD_ERROR refusal = CheckEntry(params->context, params->settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  return result == nullptr ? kUpdInvalidArgument : kUpdOk;
}

}  // namespace

UPD_ERROR UpdGetPicoUpdates(const UPD_PICO_PARAMS* params, UPD_PICO_LIST_RESULT* result) {
  const UPD_ERROR refusal = CheckPicoEntry(params, result);
  if (refusal != kUpdOk) return refusal;
  return kUpdNotSupported;
}

UPD_ERROR UpdPerformPicoUpdate(const UPD_PICO_PARAMS* params, UPD_PICO_UPDATE_RESULT* result) {
  const UPD_ERROR refusal = CheckPicoEntry(params, result);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&] {
    ContextCall call(params->context);
    if (call.Stopped()) return kUpdStopped;
    call.Bind(params->settings);
    return kUpdNotSupported;
  });
}
