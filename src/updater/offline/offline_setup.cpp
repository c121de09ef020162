#include "updater/offline/offline_setup.h"

#include <algorithm>
#include <string>

#include "platform/os/os_file_ops.h"
#include "platform/os/os_time.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/lists/module_scan.h"
#include "updater/engine/lists/update_groups.h"
#include "updater/engine/package/package_scan.h"
#include "updater/offline/component_versions.h"

namespace {

// The group text that counts: what the host's group buffer holds.
constexpr size_t kGroupTextLimit = 511;

// The scan of the offered packages: signed engine packages, pending.
constexpr FolderScan kSignedEngineScan{.pattern = "*.nup",
                                       .flagsToSet = kComponentInstall | kComponentPresent |
                                                     kComponentSelected,
                                       .onlyEngine = true,
                                       .skipDuplicates = false,
                                       .skipSignature = false};

void Drop(_COMPONENT_INFO& entry) {
  ClearInstallMarks(entry);
  MarkDropped(entry);
}

// Keeps the entries for which keep is true; the others lose their file.
template <class Keep>
void RemoveModulesUnless(CListBase& modules, Keep keep) {
  for (int64_t i = modules.GetSize() - 1; i >= 0; --i) {
    if (keep(modules[i])) continue;
    static_cast<void>(OsFileDelete(modules[i].localFile.c_str(), nullptr));
    for (int64_t j = i + 1; j < modules.GetSize(); ++j) modules[j - 1] = std::move(modules[j]);
    modules.SetSize(modules.GetSize() - 1);
  }
}

bool HasInstalled(const CInstalledList& installed, const char* module, uint32_t platform) {
  return std::any_of(installed.begin(), installed.end(), [&](const auto& record) {
    return record.platform == platform && AsciiStrICmp(record.name, module) == 0;
  });
}

// Sorts the packages: engine packages of the groups on this platform name
// the modules to install; the others are dropped with their module files.
void SelectOfferedModules(CListBase& packages, CListBase& modules, CInstalledList& installed,
                          const CGroupList& groups, std::string_view modules_folder) {
  for (_COMPONENT_INFO& package : packages) {
    if (package.category != kCategoryEngine) {
      Drop(package);
    } else if (IsInGroupList(groups, package.group) &&
               package.platform == GetPlatformIdOfBuild()) {
      if (HasInstalled(installed, package.module, package.platform)) continue;
      _INSTALLED_COMPONENT_INFO record;
      SafeStrCopy(record.name, sizeof record.name, package.module);
      record.type = kEngineModuleType;
      record.platform = package.platform;
      installed.Add(record);
    } else {
      RemoveModuleFile(modules, modules_folder, package.filename);
      Drop(package);
    }
  }
}

// Leaves pending only the packages of each module's best chain, and none
// for a module already at the build that chain reaches.
void ChooseChains(CListBase& packages, const CListBase& modules, CInstalledList& installed,
                  ChainList& chain) {
  for (_INSTALLED_COMPONENT_INFO& record : installed) {
    const uint32_t target = ResolveComponentVersions(packages, record.name, record.platform, chain);
    const uint32_t have = modules.GetNewestBuild(record.name, record.platform, nullptr);
    for (ListIndex i = 0; i < static_cast<ListIndex>(packages.GetSize()); ++i) {
      _COMPONENT_INFO& package = packages[i];
      if (!HasModule(package, record.name, record.platform)) continue;
      if (std::find(chain.begin(), chain.end(), i) == chain.end()) Drop(package);
      if (have >= target) ClearInstallMarks(package);
    }
    if (have >= target) record.flags |= kInstalledUpToDate;
  }
}

void StoreInstallTime(const UPDATER_SETTINGS* settings) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (store == nullptr) return;
  static_cast<void>(
      SettingsStoreSetDword(store.get(), kKeyInstallTime, static_cast<uint32_t>(OsTime())));
}

}  // namespace

void RemoveModuleFile(CListBase& modules, std::string_view modules_folder,
                      std::string_view file_name) {
  const std::string path = std::string(modules_folder) + std::string(file_name);
  RemoveModulesUnless(modules,
                      [&](const _COMPONENT_INFO& entry) { return entry.localFile != path; });
}

void RemoveForeignPlatformModules(CListBase& modules) {
  RemoveModulesUnless(modules, [](const _COMPONENT_INFO& entry) {
    return entry.platform == GetPlatformIdOfBuild();
  });
}

UpdError SetupEnginesFromFolder(CModuleInstaller& installer, const InstallTarget& target,
                                const char* packages_folder, std::string_view groups) {
  const UPDATER_SETTINGS* settings = target.host.settings;
  CListBase modules;
  ScanInstalledModules(modules, settings, target.host.modulesFolder);
  CGroupList group_list;
  ParseGroupList(group_list, groups.substr(0, kGroupTextLimit));
  CUpdateList packages;
  static_cast<void>(ScanFolderToList(packages_folder, &packages, 0, kSignedEngineScan));
  RemoveForeignPlatformModules(modules);

  CInstalledList installed;
  SelectOfferedModules(packages, modules, installed, group_list, target.host.modulesFolder);
  ChainList chain;
  ChooseChains(packages, modules, installed, chain);

  CContinuousList no_continuous;
  uint32_t engine_result = 0;
  const UpdError result = installer.InstallPackages(
      target, packages, no_continuous, false, installed, &engine_result, InstallMode::kDirect);
  if (result == kUpdOk || result == kUpdNothingNew) StoreInstallTime(settings);
  DeleteSelectedFiles(packages, kComponentDropped);
  return result;
}
