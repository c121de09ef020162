#include "updater/pico/pico_manager.h"

#include <new>

#include "platform/os/os_time.h"
#include "platform/store/profile_cache.h"
#include "platform/util/host_records.h"
#include "platform/util/strings.h"
#include "platform/util/text_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/lists/channel_sections.h"
#include "updater/engine/lists/offered_modules.h"
#include "updater/engine/lists/update_groups.h"

namespace {

// The installed list names 64-bit modules; pico sections may omit the suffix.
constexpr char kModuleSuffix[] = "64";
constexpr size_t kModuleNameSize = sizeof(_INSTALLED_COMPONENT_INFO::name);

std::string ModuleName(const char* module) {
  std::string name(module);
  if (!StrEndsWith(name.c_str(), kModuleSuffix)) name += kModuleSuffix;
  if (name.size() >= kModuleNameSize) name.resize(kModuleNameSize - 1);
  return name;
}

void StoreLastAppeared(SETTINGS_STORE* store, uint32_t id, int64_t now) {
  char key[64];
  SafeSnprintf(key, sizeof key, kKeyPicoLastAppearedFormat, id);
  // A failed write only lets the folder expire earlier.
  static_cast<void>(SettingsStoreSetDword(store, key, static_cast<uint32_t>(now)));
}

}  // namespace

CPicoManager::CPicoManager(const char* root) : root_(root != nullptr ? root : "") {
  if (!root_.empty() && root_.back() != '/') root_ += '/';
  lock_ = OsMutexCreate();
  if (lock_ == nullptr) throw std::bad_alloc();
}

CPicoManager::~CPicoManager() { OsMutexDestroy(lock_); }

std::string CPicoManager::PicoFolder(uint32_t id) const {
  return root_ + std::to_string(id) + '/';
}

uint32_t CPicoManager::ScanUpdateVer(const char* catalogue_path, const UPDATER_SETTINGS* settings,
                                     const CInstalledList& installed) {
  Lock lock(lock_);
  entries_.clear();
  SettingsStorePtr store = settings != nullptr ? OpenSettingsStore(settings) : nullptr;
  const int64_t now = OsTime();
  const Catalogue catalogue = Catalogue::FromFile(catalogue_path, CatalogueTrust::kUnchecked);
  ForEachChannelSection(catalogue, kListPlain, [&](_COMPONENT_INFO& record) {
    if ((record.flags & kComponentReference) != 0 || record.category != kCategoryPico) return;
    std::string module = ModuleName(record.module);
    if (installed.FindByName(module.c_str()) == kNoEntry) return;
    const auto [entry, inserted] = entries_.try_emplace(ValueOrAbsent(record.id));
    if (!inserted) return;
    entry->second = {ValueOrAbsent(record.id), ValueOrAbsent(record.base),
                     ValueOrAbsent(record.interval), std::move(module), record.url};
    if (store != nullptr) StoreLastAppeared(store.get(), ValueOrAbsent(record.id), now);
  });
  return static_cast<uint32_t>(entries_.size());
}

void CPicoManager::BuildFromModVer(const char* mod_ver_path, const UPDATER_SETTINGS* settings) {
  CGroupList groups;
  QueryHostGroupList(groups, settings);
  CInstalledList installed;
  const CBaseNupList no_base;
  LoadUpdateVerList(installed, Catalogue::FromFile(mod_ver_path, CatalogueTrust::kUnchecked),
                    groups, no_base);
  ScanUpdateVer(mod_ver_path, nullptr, installed);
}

UpdError CPicoManager::GetPicoUpdates(const UPDATER_SETTINGS* settings, const char* mod_ver_path,
                                      uint32_t run_count, HOST_ARRAY* result) {
  Lock lock(lock_);
  if (run_count == 0 && entries_.empty()) BuildFromModVer(mod_ver_path, settings);
  for (const auto& [id, entry] : entries_) {
    const UPD_PICO_INFO info{sizeof(UPD_PICO_INFO), id, entry.interval};
    if (!HostArrayPushBack(result, info)) return kUpdOutOfMemory;
  }
  return kUpdOk;
}

std::optional<PICO_ENTRY> CPicoManager::FindEntry(uint32_t id) {
  Lock lock(lock_);
  const auto found = entries_.find(id);
  if (found == entries_.end()) return std::nullopt;
  return found->second;
}
