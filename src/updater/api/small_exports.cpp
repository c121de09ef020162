#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/engine/catalogue/update_hash.h"
#include "updater/engine/install/install_lock.h"

UPD_ERROR UpdCleanupModules(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  const UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback | kCheckBusy);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&] {
    ContextCall call(context);
    call.Bind(settings);
    call.SetPhase(UPD_PHASE_FINISHING);
    return CleanupDeadInstallations(context);
  });
}

UPD_ERROR UpdRetrieveUpdateHash(UPDATER_CONTEXT* context, uint8_t* buffer, uint64_t* size) {
  if (context == nullptr || size == nullptr) return kUpdInvalidArgument;
  return GuardExport([&]() -> UPD_ERROR {
    const std::string hash = ReadUpdateHash(context->currentLastVerPath);
    const uint64_t length = hash.size();
    if (length == 0) {
      *size = 0;
      return kUpdNoUpdateHash;
    }
    if (buffer == nullptr) {
      *size = length + 1;
      return kUpdInvalidArgument;
    }
    if (*size < length + 1) return kUpdResultTooSmall;
    std::memcpy(buffer, hash.c_str(), length + 1);
    *size = length;
    return kUpdOk;
  });
}
