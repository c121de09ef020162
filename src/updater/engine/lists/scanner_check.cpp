#include "updater/engine/lists/scanner_check.h"

#include "updater/engine/common/component_tables.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/lists/component_reader.h"

CListBase ReadPlainEngineSections(const Catalogue& catalogue) {
  CListBase engines;
  if (!catalogue.IsLoaded()) return engines;
  for (uint32_t i = 0; i < catalogue.SectionCount(); ++i) {
    const char* section = catalogue.SectionName(i);
    if (ListKindOfSection(section) != kListPlain) continue;
    _COMPONENT_INFO record;
    if (ReadComponentInfo(catalogue, section, &record, false) &&
        record.category == kCategoryEngine) {
      engines.Add(record);
    }
  }
  return engines;
}

namespace {

// The installed engine module of this build's platform with the highest build.
const _COMPONENT_INFO* NewestInstalledScanner(const CListBase& installed) {
  const _COMPONENT_INFO* newest = nullptr;
  for (const _COMPONENT_INFO& entry : installed) {
    if (entry.engineType != kEngineModuleType || entry.platform != GetPlatformIdOfBuild()) continue;
    if (newest == nullptr || entry.build > newest->build) newest = &entry;
  }
  return newest;
}

}  // namespace

bool IsScannerAheadOfCatalogue(const Catalogue& catalogue, const CListBase& installed) {
  const CListBase engines = ReadPlainEngineSections(catalogue);
  const _COMPONENT_INFO* scanner = NewestInstalledScanner(installed);
  if (scanner == nullptr) return true;
  const ListIndex offered = engines.FindByName(scanner->module, scanner->platform);
  if (offered == kNoEntry || engines[offered].build == 0) return true;
  return uint64_t{static_cast<uint32_t>(engines[offered].build)} < scanner->build;
}
