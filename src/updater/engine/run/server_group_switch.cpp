#include "updater/engine/run/server_group_switch.h"

#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/lists/module_scan.h"
#include "updater/engine/lists/scanner_check.h"
#include "updater/engine/servers/default_servers.h"
#include "updater/engine/servers/server_groups.h"

namespace {

// Rounds of the catalogue step: one for each fetch around the change, three
// for the final one, as a host's own catalogue download has.
constexpr uint32_t kSwitchFetchAttempts = 1;
constexpr uint32_t kFinalFetchAttempts = 3;

UPD_ERROR Fetch(UPDATER_CONTEXT* context, const GroupSwitchSteps& steps, uint32_t attempts) {
  if (!steps.fetch_catalogue) return kUpdNotSupported;
  return steps.fetch_catalogue(context, context->settings, attempts);
}

// Closes the session's connections on every way out of a switch.
class ConnectionsCloser {
 public:
  ConnectionsCloser(UPDATER_CONTEXT* context, const GroupSwitchSteps& steps)
      : context_(context), steps_(steps) {}
  ~ConnectionsCloser() {
    if (steps_.close_connections) steps_.close_connections(context_);
  }
  ConnectionsCloser(const ConnectionsCloser&) = delete;
  ConnectionsCloser& operator=(const ConnectionsCloser&) = delete;

 private:
  UPDATER_CONTEXT* context_;
  const GroupSwitchSteps& steps_;
};

struct StoredGroups {
  std::string current;
  std::string old;
  // False only while an earlier switch is unfinished.
  bool finished = true;
};

std::string ReadGroup(SETTINGS_STORE* store, const char* key) {
  char group[kMaxGroupName + 1] = {};
  SettingsStoreGetString(store, key, group, sizeof group);
  return group;
}

bool IsChannelGroup(const std::string& group) {
  return AsciiStrICmp(group.c_str(), kGroupPrerelease) == 0 ||
         AsciiStrICmp(group.c_str(), kGroupDeferred) == 0;
}

bool SameGroup(const std::string& a, const std::string& b) {
  return AsciiStrICmp(a.c_str(), b.c_str()) == 0;
}

// Reads the stored groups and remembers a group of the host's own (neither
// channel group) as the one to go back to.
bool ReadStoredGroups(const UPDATER_SETTINGS* settings, StoredGroups& groups) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return false;
  uint32_t finished = 0;
  if (SettingsStoreGetDword(store.get(), kKeySwitchUpdateGroupFinished, &finished)) {
    groups.finished = finished != 0;
  }
  groups.current = ReadGroup(store.get(), kKeyUpdateServerGroup);
  groups.old = ReadGroup(store.get(), kKeyUpdateServerGroupOld);
  if (!groups.current.empty() && !IsChannelGroup(groups.current) &&
      !SameGroup(groups.current, groups.old)) {
    groups.old = groups.current;
    SettingsStoreSetString(store.get(), kKeyUpdateServerGroupOld, groups.old.c_str());
  }
  return true;
}

// An empty group stands for the default one.
bool IsStorableGroup(const std::string& group) { return group.empty() || IsPlainGroupName(group); }

UPD_ERROR SwitchBetween(UPDATER_CONTEXT* context, const std::string& target,
                        const std::string& left, const GroupSwitchSteps& steps) {
  if (!IsStorableGroup(target) || !IsStorableGroup(left)) return kUpdInvalidArgument;
  return SwitchServerGroup(context, target, left, steps);
}

void MarkSwitch(const UPDATER_SETTINGS* settings, UPD_ERROR result) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return;
  if (result == kUpdOk) {
    SettingsStoreDeleteValue(store.get(), kKeySwitchUpdateGroupFinished);
  } else {
    SettingsStoreSetDword(store.get(), kKeySwitchUpdateGroupFinished, 0);
  }
}

UPD_ERROR RetryUnfinishedSwitch(UPDATER_CONTEXT* context, const GroupSwitchSteps& steps) {
  const UPD_ERROR result = Fetch(context, steps, kFinalFetchAttempts);
  MarkSwitch(context->settings, result);
  return result == kUpdOk ? kUpdOk : kUpdGroupSwitchIncomplete;
}

}  // namespace

const GroupSwitchSteps& LibraryGroupSwitchSteps() {
  static const GroupSwitchSteps steps = [] {
    GroupSwitchSteps made;
    made.fetch_catalogue = DownloadVerLocked;
    made.save_modules_of_left_group = SaveModulesOfLeftGroup;
    made.reset_session = [](UPDATER_CONTEXT* context) { context->session->Reset(); };
    made.close_connections = [](UPDATER_CONTEXT* context) {
      context->session->CloseHttpTransports();
    };
    return made;
  }();
  return steps;
}

bool IsPlainGroupName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxGroupName && name != "." &&
         name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos;
}

UPD_ERROR SwitchUpdateGroup(UPDATER_CONTEXT* context, const char* group, uint32_t set,
                            const GroupSwitchSteps& steps) {
  ProfileCacheClear();
  if (steps.reset_session) steps.reset_session(context);
  const ConnectionsCloser closer(context, steps);
  StoredGroups groups;
  if (!ReadStoredGroups(context->settings, groups)) return kUpdSettingsUnreadable;
  if (set != 0) {
    if (group == nullptr || !IsPlainGroupName(group)) return kUpdInvalidArgument;
    if (!SameGroup(group, groups.current)) {
      return SwitchBetween(context, group, groups.current, steps);
    }
  } else if (!SameGroup(groups.current, groups.old)) {
    return SwitchBetween(context, groups.old, groups.current, steps);
  }
  if (groups.finished) return kUpdNoGroupChange;
  return RetryUnfinishedSwitch(context, steps);
}

UPD_ERROR SwitchServerGroup(UPDATER_CONTEXT* context, const std::string& target,
                            const std::string& left, const GroupSwitchSteps& steps) {
  const UPDATER_SETTINGS* settings = context->settings;
  static_cast<void>(Fetch(context, steps, kSwitchFetchAttempts));
  static_cast<void>(CleanTempFolder(context));
  {
    const SettingsStorePtr store = OpenSettingsStore(settings);
    if (!store) return kUpdSettingsUnreadable;
    SettingsStoreSetString(store.get(), kKeyUpdateServerGroup, target.c_str());
  }
  static_cast<void>(Fetch(context, steps, kSwitchFetchAttempts));
  if (FileExists(context->lastUpdVerPath) && steps.save_modules_of_left_group) {
    steps.save_modules_of_left_group(context, settings,
                                     left.empty() ? kGroupRelease : left.c_str());
  }
  DeleteDefaultServers(settings);
  const UPD_ERROR result = Fetch(context, steps, kFinalFetchAttempts);
  MarkSwitch(settings, result);
  return result;
}

void SaveModulesOfLeftGroup(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                            const char* group_left) {
  const ContextCall locked(context);
  CListBase installed;
  ScanInstalledModulesEx(installed, settings, context->modulesFolder);
  const CListBase offered = ReadPlainEngineSections(context->lastUpdVerPath);
  for (const _COMPONENT_INFO& module : installed) {
    const ListIndex index = offered.FindByName(module.module, module.platform);
    const uint64_t offered_build = index == kNoEntry ? 0 : offered[index].build;
    if (module.build > offered_build) context->backupStore->SaveComponentFile(module, group_left);
  }
}
