// The module update run. Until it lands the export answers its entry checks
// and then 3 (not supported in this build).

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

UPD_ERROR UpdPerformUpdate(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings, uint32_t*) {
  if (context == nullptr) return kUpdNoContext;
  if (settings == nullptr) return kUpdNoSettings;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  return GuardExport([&] {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    context->resultFlags = 0;
    call.Bind(settings);
    return kUpdNotSupported;
  });
}
