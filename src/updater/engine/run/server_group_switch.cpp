#include "updater/engine/run/server_group_switch.h"

#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_store.h"
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

UpdError Fetch(const GroupSwitchSteps& steps, uint32_t attempts) {
  if (!steps.fetch_catalogue) return kUpdNotSupported;
  return steps.fetch_catalogue(attempts);
}

// Closes the session's connections on every way out of a switch.
class ConnectionsCloser {
 public:
  explicit ConnectionsCloser(const GroupSwitchSteps& steps) : steps_(steps) {}
  ~ConnectionsCloser() {
    if (steps_.close_connections) steps_.close_connections();
  }
  ConnectionsCloser(const ConnectionsCloser&) = delete;
  ConnectionsCloser& operator=(const ConnectionsCloser&) = delete;

 private:
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

UpdError SwitchBetween(const HostBinding& host, const char* last_catalogue,
                       const std::string& target, const std::string& left,
                       const GroupSwitchSteps& steps) {
  if (!IsStorableGroup(target) || !IsStorableGroup(left)) return kUpdInvalidArgument;
  return SwitchServerGroup(host, last_catalogue, target, left, steps);
}

void MarkSwitch(const UPDATER_SETTINGS* settings, UpdError result) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return;
  if (result == kUpdOk) {
    SettingsStoreDeleteValue(store.get(), kKeySwitchUpdateGroupFinished);
  } else {
    SettingsStoreSetDword(store.get(), kKeySwitchUpdateGroupFinished, 0);
  }
}

UpdError RetryUnfinishedSwitch(const HostBinding& host, const GroupSwitchSteps& steps) {
  const UpdError result = Fetch(steps, kFinalFetchAttempts);
  MarkSwitch(host.settings, result);
  return result == kUpdOk ? kUpdOk : kUpdGroupSwitchIncomplete;
}

}  // namespace

bool IsPlainGroupName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxGroupName && name != "." &&
         name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos;
}

UpdError SwitchUpdateGroup(const HostBinding& host, const char* last_catalogue, const char* group,
                           uint32_t set, const GroupSwitchSteps& steps) {
  ProfileCacheClear();
  if (steps.reset_session) steps.reset_session();
  const ConnectionsCloser closer(steps);
  StoredGroups groups;
  if (!ReadStoredGroups(host.settings, groups)) return kUpdSettingsUnreadable;
  if (set != 0) {
    if (group == nullptr || !IsPlainGroupName(group)) return kUpdInvalidArgument;
    if (!SameGroup(group, groups.current)) {
      return SwitchBetween(host, last_catalogue, group, groups.current, steps);
    }
  } else if (!SameGroup(groups.current, groups.old)) {
    return SwitchBetween(host, last_catalogue, groups.old, groups.current, steps);
  }
  if (groups.finished) return kUpdNoGroupChange;
  return RetryUnfinishedSwitch(host, steps);
}

UpdError SwitchServerGroup(const HostBinding& host, const char* last_catalogue,
                           const std::string& target, const std::string& left,
                           const GroupSwitchSteps& steps) {
  const UPDATER_SETTINGS* settings = host.settings;
  static_cast<void>(Fetch(steps, kSwitchFetchAttempts));
  static_cast<void>(CleanTempFolder(&host));
  {
    const SettingsStorePtr store = OpenSettingsStore(settings);
    if (!store) return kUpdSettingsUnreadable;
    SettingsStoreSetString(store.get(), kKeyUpdateServerGroup, target.c_str());
  }
  static_cast<void>(Fetch(steps, kSwitchFetchAttempts));
  if (FileExists(last_catalogue) && steps.save_modules_of_left_group) {
    steps.save_modules_of_left_group(left.empty() ? kGroupRelease : left.c_str());
  }
  DeleteDefaultServers(settings);
  const UpdError result = Fetch(steps, kFinalFetchAttempts);
  MarkSwitch(settings, result);
  return result;
}

void SaveModulesOfLeftGroup(const UPDATER_SETTINGS* settings, const char* modules_folder,
                            const char* last_catalogue, CBackupStore& store,
                            const char* group_left) {
  CListBase installed;
  ScanInstalledModulesEx(installed, settings, modules_folder);
  const CListBase offered =
      ReadPlainEngineSections(Catalogue::FromFile(last_catalogue, CatalogueTrust::kUnchecked));
  for (const _COMPONENT_INFO& module : installed) {
    const ListIndex index = offered.FindByName(module.module, module.platform);
    const uint64_t offered_build = index == kNoEntry ? 0 : offered[index].build;
    if (module.build > offered_build) store.SaveComponentFile(module, group_left);
  }
}
