#include "updater/engine/catalogue/catalogue_category.h"

#include "updater/engine/common/component_tables.h"

namespace {

// A section of this name makes any catalogue usable.
constexpr char kLbSection[] = "LB";

bool NamesCategory(const CProfileSection& section, uint32_t category) {
  const char* name = section.GetValue("category", nullptr);
  return name != nullptr && GetCategoryId(name) == category;
}

}  // namespace

bool CheckUpdateVerCategory(const Catalogue& catalogue, uint32_t category) {
  if (!catalogue.IsLoaded()) return false;
  const uint32_t count = catalogue.SectionCount();
  if (count == 0) return true;
  if (catalogue.FindSection(kLbSection) != nullptr) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const CProfileSection* section = catalogue.SectionAt(i);
    if (section != nullptr && NamesCategory(*section, category)) return false;
  }
  return true;
}
