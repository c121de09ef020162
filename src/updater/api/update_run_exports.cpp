// The module update run as the host calls it.

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/api/run_binding.h"
#include "updater/engine/run/module_update_run.h"

UPD_ERROR UpdPerformUpdate(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                           uint32_t* resultFlags) {
  if (context == nullptr) return kUpdNoContext;
  if (settings == nullptr) return kUpdNoSettings;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  return GuardExport([&] {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    context->resultFlags = 0;
    call.Bind(settings);
    if (context->lastUpdateTime.load() == 0 || context->lastAttemptTime.load() == 0) {
      UpdLoadUpdateAttemptTime(context, settings);
    }
    UpdateRun run = BindRun(*context);
    EngineServices services = BindServices(*context);
    return PerformModuleUpdate(run, services, call, resultFlags);
  });
}
