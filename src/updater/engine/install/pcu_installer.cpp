#include "updater/engine/install/pcu_installer.h"

#include "platform/util/host_bridge.h"
#include "platform/util/update_errors.h"

UpdError UnixPcuInstaller::Install(const UPDATER_SETTINGS* settings, const char* packagePath) {
  if (!HasHostCallback(settings)) return kUpdInvalidArgument;
  UPD_INSTALL_PACKAGE_EVENT record{};
  record.packagePath = packagePath;
  return static_cast<UpdError>(
      settings->eventCallback(UPD_EVENT_INSTALL_PACKAGE, &record, settings->userData));
}

PcuManager::PcuManager() : installer_(std::make_unique<UnixPcuInstaller>()) {}

PcuManager::~PcuManager() = default;
