#include "updater/engine/lists/scanner_check.h"

#include "platform/store/profile_cache.h"
#include "updater/engine/common/component_tables.h"
#include "updater/engine/lists/component_reader.h"

CListBase ReadPlainEngineSections(const char* ini_path) {
  CListBase engines;
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(ini_path);
  if (file == nullptr || !file->IsLoaded()) return engines;
  for (uint32_t i = 0; i < file->GetSectionCount(); ++i) {
    const char* section = file->GetSectionName(i);
    if (ListKindOfSection(section) != kListPlain) continue;
    _COMPONENT_INFO record;
    if (ReadComponentInfo(ini_path, section, &record, false) &&
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

bool IsScannerAheadOfCatalogue(const char* ini_path, const CListBase& installed) {
  const CListBase engines = ReadPlainEngineSections(ini_path);
  const _COMPONENT_INFO* scanner = NewestInstalledScanner(installed);
  if (scanner == nullptr) return true;
  const ListIndex offered = engines.FindByName(scanner->module, scanner->platform);
  if (offered == kNoEntry || engines[offered].build == 0) return true;
  return uint64_t{static_cast<uint32_t>(engines[offered].build)} < scanner->build;
}
