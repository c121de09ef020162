#include "updater/engine/catalogue/catalogue_category.h"

#include "platform/store/profile_cache.h"
#include "updater/engine/common/component_tables.h"

namespace {

// A section of this name makes any catalogue usable.
constexpr char kLbSection[] = "LB";

bool NamesCategory(const CProfileSection& section, uint32_t category) {
  const char* name = section.GetValue("category", nullptr);
  return name != nullptr && GetCategoryId(name) == category;
}

}  // namespace

bool CheckUpdateVerCategory(const char* catalog_path, uint32_t category) {
  const ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(catalog_path);
  if (file == nullptr || !file->IsLoaded()) return false;
  const uint32_t count = file->GetSectionCount();
  if (count == 0) return true;
  if (file->FindSection(kLbSection) != nullptr) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const CProfileSection* section = file->GetSectionAt(i);
    if (section != nullptr && NamesCategory(*section, category)) return false;
  }
  return true;
}
