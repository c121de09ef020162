// Exports of the backup snapshots. Until the backup store lands each
// answers its entry checks and then 3 (not supported in this build).

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

UPD_ERROR UpdBackupCreateSnapshot2(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  const UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&] {
    ContextCall call(context);
    call.Bind(settings);
    return kUpdNotSupported;
  });
}

UPD_ERROR UpdBackupRollback(UPDATER_CONTEXT* context, uint32_t) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (context == nullptr) return kUpdNoContext;
  return GuardExport([&] {
    ContextCall call(context);
    return kUpdNotSupported;
  });
}

uint8_t UpdBackupIsUpdateBlocked(UPDATER_CONTEXT* context, uint32_t*) {
  if (context == nullptr) return 0;
  return static_cast<uint8_t>(kUpdNotSupported);
}

UPD_ERROR UpdBackupUnblockUpdate(UPDATER_CONTEXT* context) {
  if (context == nullptr) return kUpdInvalidArgument;
  return GuardExport([&] {
    ContextCall call(context);
    return kUpdNotSupported;
  });
}

int32_t UpdBackupGetStoredSnapshotsCount(UPDATER_CONTEXT* context) {
  if (context == nullptr) return -1;
  return static_cast<int32_t>(kUpdNotSupported);
}
