// The scanner version export, which lists the installed modules through the
// engine. Until that listing lands it answers its entry checks and then 3
// (not supported in this build).

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

UPD_ERROR UpdGetScannerVersionEx2(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                                  uint32_t* build, char* version, uint64_t versionSize) {
  const UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  if (build == nullptr || version == nullptr || versionSize == 0) return kUpdInvalidRequest;
  return GuardExport([&] {
    ContextCall call(context);
    call.Bind(settings);
    *build = 0;
    version[0] = '\0';
    return kUpdNotSupported;
  });
}
