#include "updater/engine/run/server_group_switch.h"

#include <string>

#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_store.h"
#include "updater/engine/catalogue/catalogue_fallback.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/lists/module_scan.h"
#include "updater/engine/lists/scanner_check.h"
#include "updater/engine/servers/default_servers.h"
#include "updater/engine/servers/server_groups.h"
#include "updater/engine/session/download_session.h"

namespace {

// Rounds of the catalogue step: one for each fetch around the change, three
// for the final one, as a host's own catalogue download has.
constexpr uint32_t kSwitchFetchAttempts = 1;
constexpr uint32_t kFinalFetchAttempts = 3;
// The switch's fetches use and refresh the stored default servers.
constexpr bool kCatalogueMode = true;

// One switch: the run it works on and the steps it takes.
class SwitchCall {
 public:
  SwitchCall(UpdateRun& run, GroupSwitchSteps& steps) : run_(run), steps_(steps) {}
  ~SwitchCall() { steps_.CloseConnections(); }
  SwitchCall(const SwitchCall&) = delete;
  SwitchCall& operator=(const SwitchCall&) = delete;

  [[nodiscard]] bool Aborted() const { return run_.cancellation.IsCancelled(); }
  // The catalogue step, none once the call is aborted; a fetch that failed
  // after an abort answers kUpdStopped, whatever else it met on the way out.
  [[nodiscard]] UpdError Fetch(uint32_t attempts) {
    if (Aborted()) return kUpdStopped;
    const UpdError result = steps_.FetchCatalogue(attempts);
    return result != kUpdOk && Aborted() ? kUpdStopped : result;
  }
  const UpdateRun& run() const { return run_; }
  const UPDATER_SETTINGS* settings() const { return run_.host.settings; }
  GroupSwitchSteps& steps() { return steps_; }

 private:
  UpdateRun& run_;
  GroupSwitchSteps& steps_;
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

void MarkSwitch(const UPDATER_SETTINGS* settings, UpdError result) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return;
  if (result == kUpdOk) {
    SettingsStoreDeleteValue(store.get(), kKeySwitchUpdateGroupFinished);
  } else {
    SettingsStoreSetDword(store.get(), kKeySwitchUpdateGroupFinished, 0);
  }
}

// The mark goes first, and the group only once the mark was written: a host
// killed in between leaves an unfinished switch, never a new group that no
// later call would finish.
bool StoreSwitchedGroup(const UPDATER_SETTINGS* settings, const std::string& target) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return false;
  if (SettingsStoreSetDword(store.get(), kKeySwitchUpdateGroupFinished, 0)) {
    SettingsStoreSetString(store.get(), kKeyUpdateServerGroup, target.c_str());
  }
  return true;
}

// Once the group changed: the new group's catalogue to keep the left group's
// newer modules by, the default servers forgotten (after an abort too, so
// that the switch is left as a failed final fetch leaves it) and the final
// fetch, whose result marks the switch.
UpdError FinishSwitch(SwitchCall& call, const std::string& left) {
  static_cast<void>(call.Fetch(kSwitchFetchAttempts));
  if (!call.Aborted() && FileExists(call.run().catalogues.lastUpdVer)) {
    call.steps().SaveModulesOfLeftGroup(left.empty() ? kGroupRelease : left.c_str());
  }
  DeleteDefaultServers(call.settings());
  const UpdError result = call.Fetch(kFinalFetchAttempts);
  MarkSwitch(call.settings(), result);
  return result;
}

// Stores target as the group (empty: the default group) in place of left,
// the update folder emptied between the fetches of the old and the new
// group's catalogue; the result of the final fetch.
UpdError SwitchServerGroup(SwitchCall& call, const std::string& target, const std::string& left) {
  if (!IsStorableGroup(target) || !IsStorableGroup(left)) return kUpdInvalidArgument;
  // The old group's catalogue: what it answers does not stop the switch.
  static_cast<void>(call.Fetch(kSwitchFetchAttempts));
  if (call.Aborted()) return kUpdStopped;
  static_cast<void>(CleanTempFolder(&call.run().host));
  if (!StoreSwitchedGroup(call.settings(), target)) return kUpdSettingsUnreadable;
  return FinishSwitch(call, left);
}

UpdError RetryUnfinishedSwitch(SwitchCall& call) {
  const UpdError result = call.Fetch(kFinalFetchAttempts);
  MarkSwitch(call.settings(), result);
  if (result == kUpdOk) return kUpdOk;
  return call.Aborted() ? kUpdStopped : kUpdGroupSwitchIncomplete;
}

}  // namespace

UpdError EngineGroupSwitchSteps::FetchCatalogue(uint32_t attempts) {
  // Every fetch starts on a reset session, as the host's own catalogue call
  // does, so the host is asked about the server again.
  services_.session.Reset();
  CatalogueRun catalogue = CatalogueRunOf(run_, services_.session);
  return DownloadCatalogue(catalogue, CatalogueKind::kCurrent, kCatalogueMode, attempts).code();
}

void EngineGroupSwitchSteps::SaveModulesOfLeftGroup(const char* group_left) {
  ::SaveModulesOfLeftGroup(run_.host.settings, run_.host.modulesFolder, run_.catalogues.lastUpdVer,
                           services_.backupStore, group_left);
}

void EngineGroupSwitchSteps::ResetSession() { services_.session.Reset(); }

void EngineGroupSwitchSteps::CloseConnections() { services_.session.CloseHttpTransports(); }

bool IsPlainGroupName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxGroupName && name != "." &&
         name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos;
}

UpdError SwitchUpdateGroup(UpdateRun& run, EngineServices& services, const char* group,
                           uint32_t set) {
  EngineGroupSwitchSteps steps(run, services);
  return SwitchUpdateGroup(run, steps, group, set);
}

UpdError SwitchUpdateGroup(UpdateRun& run, GroupSwitchSteps& steps, const char* group,
                           uint32_t set) {
  ProfileCacheClear();
  steps.ResetSession();
  SwitchCall call(run, steps);
  StoredGroups groups;
  if (!ReadStoredGroups(call.settings(), groups)) return kUpdSettingsUnreadable;
  if (set != 0) {
    if (group == nullptr || !IsPlainGroupName(group)) return kUpdInvalidArgument;
    if (!SameGroup(group, groups.current)) return SwitchServerGroup(call, group, groups.current);
  } else if (!SameGroup(groups.current, groups.old)) {
    return SwitchServerGroup(call, groups.old, groups.current);
  }
  if (groups.finished) return kUpdNoGroupChange;
  return RetryUnfinishedSwitch(call);
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
