// Exports of the mirror. Until the mirror lands each answers its entry
// checks and then 3 (not supported in this build).

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

namespace {

// The mirror types: all three catalogues, the root one, "dll", "dylib".
constexpr uint32_t kMaxMirrorType = 3;

UPD_ERROR CheckMirrorSettings(const UPDATER_SETTINGS* settings) {
  const MIRROR_SETTINGS* mirror = settings->mirrorSettings;
  if (mirror == nullptr) return kUpdNoMirrorSettings;
  if (mirror->callback == nullptr) return kUpdNoMirrorCallback;
  if (mirror->enabled == 0) return kUpdNothingNew;
  if (mirror->mirrorType > kMaxMirrorType) return kUpdInvalidRequest;
  return kUpdOk;
}

}  // namespace

UPD_ERROR UpdPerformMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback);
  if (refusal == kUpdOk) refusal = CheckMirrorSettings(settings);
  if (refusal == kUpdOk) refusal = CheckEntry(context, settings, kCheckBusy);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&] {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    context->resultFlags = 0;
    call.Bind(settings);
    return kUpdNotSupported;
  });
}

UPD_ERROR UpdPerformFullMirror(const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return kUpdNoSettings;
  if (settings->mirrorSettings == nullptr) return kUpdNoMirrorSettings;
  return kUpdNotSupported;
}

UPD_ERROR UpdCopyPcusToMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  const UPD_ERROR refusal = CheckEntry(context, settings, 0);
  if (refusal != kUpdOk) return refusal;
  if (settings->mirrorSettings == nullptr) return kUpdNoMirrorSettings;
  return kUpdNotSupported;
}
