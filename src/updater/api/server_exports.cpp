// Exports of the update servers and server groups.

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/api/run_binding.h"
#include "updater/engine/run/server_group_switch.h"
#include "updater/engine/servers/configured_server.h"
#include "updater/engine/servers/default_servers.h"
#include "updater/engine/servers/server_groups.h"

uint8_t UpdIsMirrorUpdateUrl(const UPDATER_SETTINGS* settings) {
  return GuardExport<uint8_t>(0, [&] { return static_cast<uint8_t>(IsMirrorUpdateUrl(settings)); });
}

UPD_ERROR UpdDeleteDefaultServers(UPDATER_CONTEXT*, const UPDATER_SETTINGS* settings) {
  GuardVoidExport([&] { DeleteDefaultServers(settings); });
  return kUpdOk;
}

UPD_ERROR UpdSwitchUpdateGroup(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                               const char* group, uint32_t set) {
  const UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback | kCheckBusy);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&] {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    // One call for the whole switch: every fetch and check polls its token.
    call.Bind(settings);
    UpdateRun run = BindRun(*context);
    EngineServices services = BindServices(*context);
    return SwitchUpdateGroup(run, services, group, set);
  });
}

UPD_ERROR UpdSwitchModulesType(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                               uint32_t type) {
  switch (type) {
    case 0:
      return UpdSwitchUpdateGroup(context, settings, nullptr, 0);
    case 1:
      return UpdSwitchUpdateGroup(context, settings, kGroupPrerelease, 1);
    case 2:
      return UpdSwitchUpdateGroup(context, settings, kGroupDeferred, 1);
    default:
      return kUpdInvalidArgument;
  }
}
