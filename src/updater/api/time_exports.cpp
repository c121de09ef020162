#include "platform/os/os_time.h"
#include "updater/api/context.h"
#include "updater/api/export_guard.h"
#include "updater/engine/common/stored_settings.h"

// The times of the last update and of the last attempt live in the settings
// store between calls. These exports take no lock: the host reads the times
// while a run may be writing them.

namespace {

int64_t LoadTime(SETTINGS_STORE* store, const char* key) {
  uint32_t value = 0;
  if (!SettingsStoreGetDword(store, key, &value)) return kStoredTimeUnknown;
  return value;
}

}  // namespace

void UpdLoadUpdateAttemptTime(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  if (context == nullptr) return;
  GuardVoidExport([&] {
    const SettingsStorePtr store = OpenSettingsStore(settings);
    if (store == nullptr) return;
    context->lastAttemptTime.store(LoadTime(store.get(), kKeyLastUpdateAttempt));
    context->lastUpdateTime.store(LoadTime(store.get(), kKeyLastUpdate));
  });
}

void UpdSaveUpdateAttemptTime(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  if (context == nullptr) return;
  GuardVoidExport([&] {
    const SettingsStorePtr store = OpenSettingsStore(settings);
    if (store == nullptr) return;
    const int64_t now = OsTime();
    // The store keeps 32-bit times.
    const auto stored = static_cast<uint32_t>(now);
    SettingsStoreSetDword(store.get(), kKeyLastUpdateAttempt, stored);
    SettingsStoreSetDword(store.get(), kKeyLastUpdate, stored);
    context->lastAttemptTime.store(now);
    context->lastUpdateTime.store(now);
  });
}

uint64_t UpdGetUpdateLastTime(const UPDATER_CONTEXT* context) {
  if (context == nullptr) return ~uint64_t{0};
  return static_cast<uint64_t>(context->lastUpdateTime.load());
}

uint64_t UpdGetUpdateLastAttemptTime(const UPDATER_CONTEXT* context) {
  if (context == nullptr) return ~uint64_t{0};
  return static_cast<uint64_t>(context->lastAttemptTime.load());
}
