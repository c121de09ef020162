// Exports of the update servers and server groups. Until the download
// session and the server list land, each answers its entry checks and then
// 3 (not supported in this build).

#include "platform/util/host_fields.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

uint8_t UpdIsMirrorUpdateUrl(const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return 0;
  if (AsciiStrICmp(HostFieldString(settings->updateServer).c_str(), "AUTOSELECT") == 0) return 0;
  return static_cast<uint8_t>(kUpdNotSupported);
}

UPD_ERROR UpdDeleteDefaultServers(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  if (context == nullptr || settings == nullptr) return kUpdOk;
  return kUpdNotSupported;
}

UPD_ERROR UpdSwitchUpdateGroup(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                               const char*, uint32_t) {
  const UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback | kCheckBusy);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&] {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    call.Bind(settings);
    return kUpdNotSupported;
  });
}

UPD_ERROR UpdSwitchModulesType(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                               uint32_t type) {
  switch (type) {
    case 0:
      return UpdSwitchUpdateGroup(context, settings, nullptr, 0);
    case 1:
      return UpdSwitchUpdateGroup(context, settings, "Prerelease", 1);
    case 2:
      return UpdSwitchUpdateGroup(context, settings, "Deferred", 1);
    default:
      return kUpdInvalidArgument;
  }
}
