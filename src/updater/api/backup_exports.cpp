// The host's calls on the backup store of a context.

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/backup/backup_store.h"

UPD_ERROR UpdBackupCreateSnapshot2(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  const UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&]() -> UPD_ERROR {
    ContextCall call(context);
    call.Bind(settings);
    return context->backupStore->SnapshotInstalledModules(settings, context->modulesFolder);
  });
}

UPD_ERROR UpdBackupRollback(UPDATER_CONTEXT* context, uint32_t blockUntil) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (context == nullptr) return kUpdNoContext;
  return GuardExport([&]() -> UPD_ERROR {
    ContextCall call(context);
    CBackupStore& store = *context->backupStore;
    uint32_t until = 0;
    if (store.GetBlockedUntil(&until)) {
      const UPD_ERROR moved = store.SetBlockUntil(blockUntil);
      return moved != kUpdOk ? moved : kUpdBlockMoved;
    }
    const UPD_ERROR restored = store.RestoreSnapshot(blockUntil);
    // The pico files were made for the modules just replaced: set them aside.
    if (restored == kUpdOk && context->picoManager) (void)context->picoManager->MoveAllToRollback();
    return restored;
  });
}

uint8_t UpdBackupIsUpdateBlocked(UPDATER_CONTEXT* context, uint32_t* blockedUntil) {
  if (context == nullptr) return 0;
  return GuardExport<uint8_t>(0, [&]() -> uint8_t {
    uint32_t until = 0;
    if (!context->backupStore->GetBlockedUntil(&until)) return 0;
    if (blockedUntil != nullptr) *blockedUntil = until;
    return 1;
  });
}

UPD_ERROR UpdBackupUnblockUpdate(UPDATER_CONTEXT* context) {
  if (context == nullptr) return kUpdInvalidArgument;
  return GuardExport([&] {
    ContextCall call(context);
    return context->backupStore->ClearBlock();
  });
}

int32_t UpdBackupGetStoredSnapshotsCount(UPDATER_CONTEXT* context) {
  if (context == nullptr) return -1;
  return GuardExport<int32_t>(
      0, [&] { return static_cast<int32_t>(context->backupStore->GetSnapshotCount()); });
}
