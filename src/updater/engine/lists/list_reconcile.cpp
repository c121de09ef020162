#include "updater/engine/lists/list_reconcile.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "updater/engine/common/component_info.h"

namespace {

// The first local package of entry's module, platform, level and list kind
// from start on.
ListIndex LocalTwin(const CLocalList& local, const _COMPONENT_INFO& entry, ListIndex start = 0) {
  return local.FindByNamePlatformLevelKind(entry.module, entry.platform, entry.level,
                                           entry.listKind, start);
}

void ReplaceWithLocal(_COMPONENT_INFO& entry, _COMPONENT_INFO& local) {
  const uint32_t kept = entry.flags & (kComponentInstall | kComponentFetch);
  std::copy(std::begin(entry.name), std::end(entry.name), std::begin(local.name));
  entry = local;
  entry.flags |= kept;
}

// Whether the local package may stand in for entry when the local chain is
// behind the catalogue's.
bool HoldsSamePackage(const _COMPONENT_INFO& entry, const _COMPONENT_INFO& local) {
  if (local.build != entry.build) return false;
  if ((local.flags & kComponentModuleFile) != 0) return !IsToFetch(entry);
  return local.base == entry.base;
}

void TakeHeldPackages(CUpdateList& updates, CLocalList& local, const char* module,
                      uint32_t platform) {
  for (_COMPONENT_INFO& entry : updates) {
    if (!HasModule(entry, module, platform)) continue;
    for (ListIndex j = LocalTwin(local, entry); j != kNoEntry; j = LocalTwin(local, entry, j + 1)) {
      if (HoldsSamePackage(entry, local[j])) {
        ReplaceWithLocal(entry, local[j]);
        break;
      }
    }
  }
}

void TakeLocalChain(CUpdateList& updates, CLocalList& local, const char* module,
                    uint32_t platform) {
  for (_COMPONENT_INFO& entry : updates) {
    if (!HasModule(entry, module, platform)) continue;
    const ListIndex j = LocalTwin(local, entry);
    if (j != kNoEntry) {
      ReplaceWithLocal(entry, local[j]);
    } else {
      ClearInstallMarks(entry);
    }
  }
}

void SelectDifferingTwins(CUpdateList& updates, const CLocalList& local) {
  for (_COMPONENT_INFO& entry : updates) {
    if (entry.category != kCategoryEngine) continue;
    const ListIndex j = LocalTwin(local, entry);
    if (j != kNoEntry && local[j].build == entry.build && local[j].size != entry.size) {
      MarkSelected(entry);
    }
  }
}

// A full package of the module, selected or to fetch, that is not dropped.
bool HasSelectedFullPackage(const CUpdateList& updates, const char* module, uint32_t platform) {
  return std::any_of(updates.begin(), updates.end(), [&](const _COMPONENT_INFO& entry) {
    return !IsDropped(entry) && entry.level == kLevelFull &&
           (entry.flags & (kComponentSelected | kComponentFetch)) != 0 &&
           HasModule(entry, module, platform);
  });
}

struct ContinuousChoice {
  ListIndex package = kNoEntry;
  ListIndex base = kNoEntry;
};

// The smallest continuous package of update's module that reaches target
// from a base in base; the first of equal sizes.
ContinuousChoice SmallestContinuous(const CContinuousList& continuous, const CBaseNupList& base,
                                    const _COMPONENT_INFO& update, uint32_t target) {
  ContinuousChoice choice;
  for (ListIndex k =
           continuous.FindByIdNamePlatformFrom(update.category, update.module, update.platform, 0);
       k != kNoEntry; k = continuous.FindByIdNamePlatformFrom(update.category, update.module,
                                                              update.platform, k + 1)) {
    const _COMPONENT_INFO& candidate = continuous[k];
    if (candidate.build != uint64_t{target}) continue;
    const ListIndex b = candidate.base ? base.FindByModuleBuild(candidate.module,
                                                                candidate.platform, *candidate.base)
                                       : kNoEntry;
    if (b == kNoEntry) continue;
    if (choice.package == kNoEntry ||
        ValueOrAbsent(candidate.size) < ValueOrAbsent(continuous[choice.package].size)) {
      choice = {k, b};
    }
  }
  return choice;
}

void TakeContinuous(_INSTALLED_COMPONENT_INFO& installed, CUpdateList& updates,
                    CContinuousList& continuous, const ContinuousChoice& choice,
                    const CBaseNupList& base, const CLocalList& local) {
  _COMPONENT_INFO& package = continuous[choice.package];
  const _COMPONENT_INFO& from = base[choice.base];
  for (_COMPONENT_INFO& entry : updates) {
    if (entry.category == kCategoryEngine && HasModule(entry, package.module, package.platform)) {
      ClearInstallMarks(entry);
    }
  }
  installed.chosen = static_cast<uint32_t>(choice.package);
  installed.flags |= kInstalledPackageChosen;
  if ((from.flags & kComponentModuleFile) != 0) installed.flags |= kInstalledBaseIsModuleFile;
  package.basePath = from.localFile;
  MarkForInstall(package);
  const ListIndex held = local.FindByNameCategoryBuildBase(package.name, package.category,
                                                           package.build, package.base);
  if (held != kNoEntry) {
    MarkPresent(package);
    package.localFile = local[held].localFile;
  }
}

}  // namespace

void ReconcileLocalPackages(CUpdateList& updates, CLocalList& local) {
  for (int64_t i = 0; i < updates.GetSize(); ++i) {
    const _COMPONENT_INFO& update = updates[i];
    if (update.category != kCategoryEngine || update.level != kLevelFull) continue;
    const ListIndex l = local.FindByNamePlatformLevelKind(update.module, update.platform,
                                                          kLevelFull, update.listKind);
    if (l == kNoEntry) continue;
    // The same build in another size is another file: not a stand-in.
    if (update.build == local[l].build && update.size != local[l].size &&
        (local[l].flags & kComponentModuleFile) == 0) {
      continue;
    }
    const uint32_t catalogue_reach =
        updates.FindDeltaFor(static_cast<ListIndex>(i), nullptr, nullptr);
    const uint32_t local_reach = local.FindDeltaFor(l, nullptr, nullptr);
    const std::string module = update.module;
    const uint32_t platform = update.platform;
    if (local_reach < catalogue_reach) {
      TakeHeldPackages(updates, local, module.c_str(), platform);
    } else {
      TakeLocalChain(updates, local, module.c_str(), platform);
    }
  }
  SelectDifferingTwins(updates, local);
}

void MarkUpToDateModules(CInstalledList& installed, CUpdateList& updates) {
  for (_INSTALLED_COMPONENT_INFO& module : installed) {
    if (module.type != kEngineModuleType) continue;
    const uint32_t newest = updates.GetNewestBuild(module.name, module.platform, nullptr);
    if (uint64_t{newest} <= module.build &&
        updates.ClearFlags(module.name, module.platform, kComponentInstallMarks) > 0) {
      module.flags |= kInstalledUpToDate;
    }
  }
}

void ChooseContinuousPackages(CInstalledList& installed, CUpdateList& updates,
                              CContinuousList& continuous, const CBaseNupList& base,
                              const CLocalList& local) {
  for (int64_t i = 0; i < updates.GetSize(); ++i) {
    const _COMPONENT_INFO& update = updates[i];
    if (update.level != kLevelFull || !IsToInstall(update)) continue;
    const uint32_t target = updates.FindDeltaFor(static_cast<ListIndex>(i), nullptr, nullptr);
    const ContinuousChoice choice = SmallestContinuous(continuous, base, update, target);
    if (choice.package == kNoEntry) continue;
    const ListIndex record = installed.FindByNameAndPlatform(update.module, update.platform);
    if (record == kNoEntry) continue;
    TakeContinuous(installed[record], updates, continuous, choice, base, local);
  }
}

void ReconcileReverseList(CInstalledModules& installed, CUpdateList& updates, CReverseList& reverse,
                          CLocalList& local) {
  const CBaseNupList& base = installed.baseNupList;
  for (_COMPONENT_INFO& entry : reverse) {
    if (entry.category != kCategoryEngine) continue;
    if (installed.installedList.FindByNameAndPlatform(entry.module, entry.platform) == kNoEntry ||
        HasSelectedFullPackage(updates, entry.module, entry.platform)) {
      continue;
    }
    const ListIndex b = base.FindByIdNamePlatform(entry.category, entry.module, entry.platform,
                                                  kComponentModuleFile);
    if (b == kNoEntry || base[b].build != entry.base) continue;
    const ListIndex l = local.FindByModuleLevel(entry.module, entry.platform, kLevelFull);
    if (l == kNoEntry) {
      MarkForInstall(entry);
    } else if (local[l].build < entry.build) {
      MarkDropped(local[l]);
      MarkForInstall(entry);
    }
    if (!IsToInstall(entry)) continue;
    const ListIndex held =
        local.FindByModuleBuildBase(entry.module, entry.platform, entry.build, entry.base);
    if (held != kNoEntry) {
      MarkPresent(entry);
      entry.localFile = local[held].localFile;
    }
  }
}
