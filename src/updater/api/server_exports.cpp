// Exports of the update servers and server groups.

#include "platform/util/update_errors.h"
#include "updater/api/catalogue_call.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/api/group_switch_steps.h"
#include "updater/engine/run/server_group_switch.h"
#include "updater/engine/servers/configured_server.h"
#include "updater/engine/servers/default_servers.h"
#include "updater/engine/servers/server_groups.h"
#include "updater/engine/session/download_session.h"

GroupSwitchSteps LibraryGroupSwitchSteps(UPDATER_CONTEXT* context) {
  GroupSwitchSteps steps;
  steps.fetch_catalogue = [context](uint32_t attempts) {
    return DownloadVerLocked(context, context->settings, attempts);
  };
  steps.save_modules_of_left_group = [context](const char* group_left) {
    const ContextCall locked(context);
    SaveModulesOfLeftGroup(context->settings, context->modulesFolder, context->lastUpdVerPath,
                           *context->backupStore, group_left);
  };
  steps.reset_session = [context] { context->session->Reset(); };
  steps.close_connections = [context] { context->session->CloseHttpTransports(); };
  return steps;
}

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
    call.Bind(settings);
    return SwitchUpdateGroup(*context, context->lastUpdVerPath, group, set,
                             LibraryGroupSwitchSteps(context));
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
