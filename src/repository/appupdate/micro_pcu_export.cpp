#include <cstdlib>
#include <ctime>

#include "platform/util/host_records.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

// Micro application packages are not supported in this build: after its
// entry checks the export empties its result text and answers 3.

UPD_ERROR UpdCheckLastMicroPCU2(const UPD_MICRO_PCU_PARAMS* params, UPD_MICRO_PCU_RESULT* result) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (params == nullptr) return kUpdNoContext;
  const UPD_ERROR refusal = CheckEntry(params->context, params->settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  if (result == nullptr || result->cbSize < sizeof(UPD_MICRO_PCU_RESULT)) {
    return kUpdResultTooSmall;
  }
  return GuardExport([&] {
    ContextCall call(params->context);
    params->context->resultFlags = 0;
    call.Bind(params->settings);
    result->cbSize = sizeof(UPD_MICRO_PCU_RESULT);
    HostStringClear(&result->text);
    return kUpdNotSupported;
  });
}
