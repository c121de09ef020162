#include "updater/engine/common/component_tables.h"

#include <cstring>
#include <span>

#include "platform/util/strings.h"

namespace {

struct NameId {
  const char* name;
  uint32_t id;
};

// Looked up in this order.
constexpr NameId kCategories[] = {
    {"component", kCategoryComponent}, {"engine", kCategoryEngine}, {"dll", kCategoryDll},
    {"dylib", kCategoryDylib},         {"pico", kCategoryPico},
};
constexpr NameId kPlatforms[] = {{"x86", 0}, {"x64", 1}, {"arm", 2}, {"arm64", 3}};
constexpr NameId kComponentPlatforms[] = {{"winnt32", 0}, {"winnt64", 1}, {"arm64", 2}};

struct Prefix {
  const char* text;
  size_t length;
  ComponentListKind kind;
};

constexpr Prefix kChannelPrefixes[] = {
    {"CONTINUOUS_", 11, kListContinuous},
    {"REVERSE_", 8, kListReverse},
    {"PRELIMINARY_", 12, kListPreliminary},
};

std::optional<uint32_t> IdOf(std::span<const NameId> table, std::string_view name) {
  for (const NameId& entry : table) {
    if (std::strlen(entry.name) == name.size() &&
        AsciiStrNICmp(entry.name, name.data(), name.size()) == 0) {
      return entry.id;
    }
  }
  return std::nullopt;
}

const char* NameOf(std::span<const NameId> table, uint32_t id) {
  for (const NameId& entry : table) {
    if (entry.id == id) return entry.name;
  }
  return nullptr;
}

}  // namespace

std::optional<uint32_t> GetCategoryId(std::string_view name) { return IdOf(kCategories, name); }
std::optional<uint32_t> GetPlatformId(std::string_view name) { return IdOf(kPlatforms, name); }
std::optional<uint32_t> GetComponentPlatformId(std::string_view name) {
  return IdOf(kComponentPlatforms, name);
}

const char* GetCategoryName(uint32_t id) { return NameOf(kCategories, id); }
const char* GetPlatformNameOfId(uint32_t id) { return NameOf(kPlatforms, id); }
const char* GetComponentPlatformName(uint32_t id) { return NameOf(kComponentPlatforms, id); }

ComponentListKind ListKindOfSection(const char* section) {
  if (section == nullptr) return kListPlain;
  for (const Prefix& prefix : kChannelPrefixes) {
    if (AsciiStrNICmp(section, prefix.text, prefix.length) == 0) return prefix.kind;
  }
  return kListPlain;
}
