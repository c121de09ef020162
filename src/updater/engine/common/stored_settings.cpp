#include "updater/engine/common/stored_settings.h"

#include "platform/util/host_fields.h"

SettingsStorePtr OpenSettingsStore(const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return nullptr;
  // The store ignores the second location, so it is not passed on.
  const std::string location = HostFieldString(settings->settingsStore);
  return SettingsStorePtr(SettingsStoreOpen(location.c_str(), kSettingsKindSettings, nullptr));
}
