#include "updater/engine/lists/offered_modules.h"

#include <algorithm>
#include <optional>

#include "platform/util/strings.h"
#include "updater/engine/common/component_tables.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/lists/update_groups.h"

namespace {

// Sizes the section's values are read with, the NUL included.
constexpr uint32_t kCategorySize = 64;
constexpr uint32_t kGroupSize = 256;
constexpr uint32_t kPlatformSize = 16;
constexpr uint32_t kModuleSize = sizeof(_INSTALLED_COMPONENT_INFO::name);

// A value of the section (surrounding double quotes dropped), cut to fit.
template <uint32_t N>
void ValueOf(const Catalogue& catalogue, const char* section, const char* key, char (&out)[N]) {
  (void)catalogue.CopyText(section, key, "", out);
}

// The build of the first engine module of that name and platform in base,
// dropped or not.
uint64_t InstalledBuild(const CBaseNupList& base, const char* module, uint32_t platform) {
  const auto found = std::find_if(base.begin(), base.end(), [&](const _COMPONENT_INFO& entry) {
    return entry.category == kCategoryEngine && HasModule(entry, module, platform);
  });
  return found != base.end() ? found->build : 0;
}

// The module the section offers, when it is offered to this client.
std::optional<_INSTALLED_COMPONENT_INFO> OfferedModule(const Catalogue& catalogue,
                                                       const char* section,
                                                       const CGroupList& groups,
                                                       std::span<const uint32_t> platform_ids) {
  // Room enough that a longer value cut to fit can never read "engine".
  char category[kCategorySize];
  ValueOf(catalogue, section, "category", category);
  if (AsciiStrICmp(category, "engine") != 0) return std::nullopt;
  char group[kGroupSize];
  char platform_name[kPlatformSize];
  ValueOf(catalogue, section, "group", group);
  ValueOf(catalogue, section, "platform", platform_name);
  const std::optional<uint32_t> platform = GetPlatformId(platform_name);
  if (!platform ||
      std::find(platform_ids.begin(), platform_ids.end(), *platform) == platform_ids.end()) {
    return std::nullopt;
  }
  if (!IsInGroupList(groups, group)) return std::nullopt;
  _INSTALLED_COMPONENT_INFO module;
  ValueOf(catalogue, section, "type", module.name);
  if (module.name[0] == '\0') return std::nullopt;
  module.type = kEngineModuleType;
  module.platform = *platform;
  return module;
}

}  // namespace

int64_t AddOfferedEngineModules(CInstalledList& installed, const Catalogue& catalogue,
                                const CGroupList& groups, const CBaseNupList& base,
                                std::span<const uint32_t> platform_ids) {
  if (!catalogue.IsLoaded()) return installed.GetSize();
  for (uint32_t i = 0; i < catalogue.SectionCount(); ++i) {
    const char* section = catalogue.SectionName(i);
    if (section == nullptr || ListKindOfSection(section) != kListPlain) continue;
    std::optional<_INSTALLED_COMPONENT_INFO> module =
        OfferedModule(catalogue, section, groups, platform_ids);
    if (!module || installed.FindByNameAndPlatform(module->name, module->platform) != kNoEntry) {
      continue;
    }
    module->build = InstalledBuild(base, module->name, module->platform);
    installed.Add(*module);
  }
  return installed.GetSize();
}

int64_t LoadUpdateVerList(CInstalledList& installed, const Catalogue& catalogue,
                          const CGroupList& groups, const CBaseNupList& base) {
  const uint32_t platform = GetPlatformIdOfBuild();
  return AddOfferedEngineModules(installed, catalogue, groups, base, {&platform, 1});
}
