#include "updater/engine/lists/list_builder.h"

#include <array>
#include <cstring>
#include <string>

#include "platform/util/update_errors.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/catalogue/probability_gate.h"
#include "updater/engine/lists/channel_sections.h"
#include "updater/engine/lists/list_reconcile.h"
#include "updater/engine/lists/module_scan.h"
#include "updater/engine/lists/offered_modules.h"
#include "updater/engine/lists/update_groups.h"

namespace {

uint32_t SettingsFlags(const ListBuild& build) {
  return build.host.settings != nullptr ? build.host.settings->flags : 0;
}

// A preliminary package is wanted unless a local full package of its
// component is at least as new. Its component is its name after the channel
// prefix's '_'.
void SelectPreliminaryEntries(CPreliminaryList& preliminary, const CLocalList& local) {
  for (_COMPONENT_INFO& entry : preliminary) {
    const char* underscore = std::strchr(entry.name, '_');
    const char* name = underscore != nullptr ? underscore + 1 : entry.name;
    ListIndex j = local.FindByNameAndId(name, entry.category);
    if (j == kNoEntry) MarkSelected(entry);
    for (; j != kNoEntry; j = local.FindByNameAndId(name, entry.category, j + 1)) {
      if (local[j].level == kLevelFull && local[j].build < entry.build) {
        MarkSelected(entry);
        break;
      }
    }
  }
}

void CopyFullPackages(const CLocalList& local, CBaseNupList& base) {
  for (const _COMPONENT_INFO& entry : local) {
    if (entry.level == kLevelFull) base.Add(entry);
  }
}

// The catalogue's plain engine sections of the installed modules, to be
// installed; none when the settings keep engine modules out, and every
// installed module then counts as up to date.
void AddInstalledEngineEntries(CInstalledList& installed, CUpdateList& updates,
                               const Catalogue& catalogue, uint32_t settings_flags) {
  if ((settings_flags & kSettingsNoEngineModules) != 0) {
    for (_INSTALLED_COMPONENT_INFO& module : installed) {
      if (module.type == kEngineModuleType) module.flags |= kInstalledUpToDate;
    }
    return;
  }
  ForEachChannelSection(catalogue, kListPlain, [&](_COMPONENT_INFO& record) {
    if (record.category != kCategoryEngine ||
        installed.FindByNameAndPlatform(record.module, record.platform) == kNoEntry) {
      return;
    }
    MarkForInstall(record);
    updates.Add(record);
  });
}

void ResolveAndReload(CListBase& list, const ListBuild& build) {
  list.ResolvePaths(build.server.serverRoot);
  list.ReloadReferences(build.catalogue, build.server.catalogueBaseUrl);
}

bool SomethingToInstall(const CInstalledModules& installed, const CUpdateList& updates) {
  for (const _COMPONENT_INFO& entry : updates) {
    if (entry.category == kCategoryEngine && IsToInstall(entry)) return true;
  }
  for (const _INSTALLED_COMPONENT_INFO& module : installed.installedList) {
    if (module.type == kEngineModuleType && (module.flags & kInstalledPackageChosen) != 0) {
      return true;
    }
  }
  return false;
}

// The continuous, preliminary (when their gate lets them in) and reverse
// channels; full local packages join the bases.
void ReadChannels(CUpdateLists& lists, CBaseNupList& base, const ListBuild& build) {
  const Catalogue& catalogue = build.catalogue;
  ReadContinuousSections(lists.continuousList, catalogue);
  if (PreliminaryUpdateGate(catalogue, KnownTime(build.lastAttemptTime.load()))) {
    ReadPreliminarySections(lists.preliminaryList, catalogue);
  }
  SelectPreliminaryEntries(lists.preliminaryList, lists.localList);
  CopyFullPackages(lists.localList, base);
  ReadReverseSections(lists.reverseList, catalogue);
}

// Local packages, installed builds and the continuous channel decide what
// of the catalogue's packages is still to be fetched and installed.
void WeighAgainstThisMachine(CInstalledModules& installed, CUpdateLists& lists) {
  ReconcileLocalPackages(lists.updateList, lists.localList);
  MarkUpToDateModules(installed.installedList, lists.updateList);
  ChooseContinuousPackages(installed.installedList, lists.updateList, lists.continuousList,
                           installed.baseNupList, lists.localList);
  // The same bit tells the run, after the installation, that a module was
  // replaced.
  if (SomethingToInstall(installed, lists.updateList)) {
    installed.flags |= CInstalledModules::kEngineModuleReplaced;
  }
}

// The comma list of section names the mirror settings keep, which the host
// need not have ended with a NUL.
std::string MirrorSectionNames(const MIRROR_SETTINGS& mirror) {
  return std::string(mirror.sectionNames, strnlen(mirror.sectionNames, sizeof mirror.sectionNames));
}

}  // namespace

UpdError PrepareUpdateLists(const ListBuild& build, LocalPackageScan scan_packages,
                            const ComponentCatalogueMerge& merge) {
  CUpdateLists& lists = build.lists;
  CInstalledModules& installed = build.installed;
  const UPDATER_SETTINGS* settings = build.host.settings;
  const Catalogue& catalogue = build.catalogue;
  installed.flags = 0;
  if (settings != nullptr && settings->skipInstalledScan == 0) {
    ScanInstalledModulesEx(installed.baseNupList, settings, build.host.modulesFolder);
  }
  CGroupList groups;
  QueryHostGroupList(groups, settings);
  LoadUpdateVerList(installed.installedList, catalogue, groups, installed.baseNupList);
  scan_packages(lists.localList, build.host.updateFolder);
  ScanBaseNonNups(lists.localList, settings, build.host.updateFolder);
  ReadChannels(lists, installed.baseNupList, build);
  AddInstalledEngineEntries(installed.installedList, lists.updateList, catalogue,
                            SettingsFlags(build));
  const std::array<CListBase*, 4> served = {&lists.updateList, &lists.continuousList,
                                            &lists.preliminaryList, &lists.reverseList};
  for (CListBase* list : served) ResolveAndReload(*list, build);
  if (merge) (void)merge(lists);
  WeighAgainstThisMachine(installed, lists);
  return build.cancellation.IsCancelled() ? kUpdStopped : kUpdOk;
}

int64_t PrepareMirrorLists(const ListBuild& build, const Catalogue& catalogue, uint32_t category) {
  CUpdateLists& lists = build.lists;
  const MIRROR_SETTINGS* mirror =
      build.host.settings != nullptr ? build.host.settings->mirrorSettings : nullptr;
  int64_t added = ReadPlainSectionsOfCategory(lists.updateList, catalogue, category);
  if (mirror != nullptr && mirror->plainOnly == 0) {
    added += ReadContinuousSectionsOfCategory(lists.continuousList, catalogue, category);
    added += ReadReverseSectionsOfCategory(lists.reverseList, catalogue, category);
    const int64_t before = lists.componentList.GetSize();
    const std::string names = MirrorSectionNames(*mirror);
    added += lists.componentList.AddFromNameList(names.c_str(), catalogue) - before;
  }
  const std::array<CListBase*, 4> served = {&lists.updateList, &lists.continuousList,
                                            &lists.reverseList, &lists.componentList};
  for (CListBase* list : served) {
    list->ResolvePaths(build.server.serverRoot);
    list->ReloadReferences(catalogue, build.server.catalogueBaseUrl);
  }
  return added;
}

void PrepareNupLists(const ListBuild& build, LocalPackageScan scan_packages,
                     const CGroupList& groups, std::span<const uint32_t> platform_ids) {
  CUpdateLists& lists = build.lists;
  CInstalledModules& installed = build.installed;
  const Catalogue& catalogue = build.catalogue;
  AddOfferedEngineModules(installed.installedList, catalogue, groups, installed.baseNupList,
                          platform_ids);
  scan_packages(lists.localList, build.host.updateFolder);
  AddInstalledEngineEntries(installed.installedList, lists.updateList, catalogue,
                            SettingsFlags(build));
  ResolveAndReload(lists.updateList, build);
  ReconcileLocalPackages(lists.updateList, lists.localList);
}
