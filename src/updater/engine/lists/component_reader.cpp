#include "updater/engine/lists/component_reader.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "platform/store/profile_cache.h"
#include "platform/util/charset.h"
#include "platform/util/path_helpers.h"
#include "platform/util/str_substitute.h"
#include "updater/engine/common/component_tables.h"

namespace {

// "display_name" is read up to this many bytes before it is decoded.
constexpr size_t kMaxDisplayNameText = 511;
// A component's dotted version has up to four 16-bit parts.
constexpr int kVersionParts = 4;

// The value of key without surrounding double quotes; nothing when absent.
std::optional<std::string_view> ValueOf(const CProfileSection* section, std::string_view key) {
  const char* value = section != nullptr ? section->GetValue(key, nullptr) : nullptr;
  if (value == nullptr) return std::nullopt;
  std::string_view text(value);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

std::string_view TextOf(const CProfileSection* section, std::string_view key) {
  return ValueOf(section, key).value_or(std::string_view());
}

uint32_t NumberOf(const CProfileSection* section, std::string_view key, uint32_t absent) {
  const int32_t value = section != nullptr ? section->GetInt(key, static_cast<int32_t>(absent))
                                           : static_cast<int32_t>(absent);
  return static_cast<uint32_t>(value);
}

template <size_t N>
void CopyText(char (&field)[N], std::string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  text.copy(field, n);
  field[n] = '\0';
}

void CopyPath(std::string& field, std::string_view text) {
  field.assign(text.substr(0, kPathSize - 1));
}

void ReadDisplayName(const CProfileSection* section, _COMPONENT_INFO* record) {
  const std::string_view text = TextOf(section, "display_name").substr(0, kMaxDisplayNameText);
  wchar_t wide[sizeof record->displayName];
  PercentDecodeToWide(text.data(), text.size(), wide, std::size(wide));
  // Text that does not convert leaves the name empty.
  static_cast<void>(WideToMultiByte(wide, record->displayName, sizeof record->displayName));
}

// Up to four decimal parts separated by dots or blanks, each kept to 16 bits,
// as (a << 48) | (b << 32) | (c << 16) | d; reading stops at the first part
// that is not a number.
uint64_t BuildOfVersion(const char* version) {
  uint64_t build = 0;
  const char* p = version;
  for (int part = 0; part < kVersionParts; ++part) {
    while (*p == '.' || *p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    if (*p < '0' || *p > '9') break;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
      value = (value * 10 + static_cast<uint64_t>(*p - '0')) & 0xFFFF;
    }
    build |= value << (48 - 16 * part);
  }
  return build;
}

// The platform id by the category's table; false for a name the table
// lacks. Pico sections have no platform and keep the record's.
bool ReadPlatform(const CProfileSection* section, _COMPONENT_INFO* record) {
  if (record->category == kCategoryPico) return true;
  const std::string_view name = TextOf(section, "platform");
  const std::optional<uint32_t> id =
      IsComponentCategory(record->category) ? GetComponentPlatformId(name) : GetPlatformId(name);
  if (!id) return false;
  record->platform = *id;
  return true;
}

uint64_t ReadBuild(const CProfileSection* section, const _COMPONENT_INFO& record) {
  if (record.category == kCategoryPico) return 0;
  if (!IsComponentCategory(record.category)) return NumberOf(section, "build", 0);
  if (record.version[0] != '\0') return BuildOfVersion(record.version);
  return uint64_t{NumberOf(section, "buildMS", 0)} << 32 | NumberOf(section, "buildLS", 0);
}

// Nothing for a missing key or a -1.
std::optional<uint32_t> OptionalNumberOf(const CProfileSection* section, std::string_view key) {
  const uint32_t value = NumberOf(section, key, kComponentAbsentValue);
  return value != kComponentAbsentValue ? std::optional<uint32_t>(value) : std::nullopt;
}

struct NumberKey {
  const char* key;
  uint32_t _COMPONENT_INFO::*field;
};

constexpr NumberKey kNumberKeys[] = {
    {"versionid", &_COMPONENT_INFO::versionId},
    {"Agreed", &_COMPONENT_INFO::agreed},
};

struct OptionalNumberKey {
  const char* key;
  std::optional<uint32_t> _COMPONENT_INFO::*field;
};

constexpr OptionalNumberKey kOptionalNumberKeys[] = {
    {"size", &_COMPONENT_INFO::size},
    {"id", &_COMPONENT_INFO::id},
    {"interval", &_COMPONENT_INFO::interval},
};

// Everything after the category and platform checks; nothing here refuses.
void ReadPackageKeys(const CProfileSection* section, _COMPONENT_INFO* record) {
  const std::string_view module = TextOf(section, "type");
  CopyText(record->module, module.empty() ? "module" : module);
  CopyText(record->version, TextOf(section, "version"));
  ReadDisplayName(section, record);
  const std::string_view file = TextOf(section, "file");
  CopyPath(record->url, file.empty() ? TextOf(section, "basepath") : file);
  CopyPath(record->filename, TextOf(section, "filename"));
  CopyText(record->setup, TextOf(section, "setup"));
  record->build = ReadBuild(section, *record);
  const auto level = static_cast<int32_t>(NumberOf(section, "level", kComponentAbsentValue));
  record->level = level != -1 ? std::optional<int32_t>(level) : std::nullopt;
  record->base = OptionalNumberOf(section, "base");
  if (!record->base) record->base = OptionalNumberOf(section, "baseindex");
  for (const NumberKey& key : kNumberKeys) record->*key.field = NumberOf(section, key.key, 0);
  for (const OptionalNumberKey& key : kOptionalNumberKeys) {
    record->*key.field = OptionalNumberOf(section, key.key);
  }
  if (record->build > 0) record->flags |= kComponentHasBuild;
}

bool ReadSection(const CProfileSection* section, const char* name, _COMPONENT_INFO* record,
                 bool keep) {
  if (!keep) {
    *record = _COMPONENT_INFO();
    CopyText(record->name, ValueOf(section, "name").value_or(name));
  }
  record->listKind = ListKindOfSection(name);
  const std::string_view reference = TextOf(section, "ver");
  if (!reference.empty()) {
    record->flags |= kComponentReference;
    CopyPath(record->url, reference);
    return true;
  }
  CopyText(record->group, TextOf(section, "group"));
  const std::optional<uint32_t> category_id = GetCategoryId(TextOf(section, "category"));
  if (!category_id) return false;
  record->category = *category_id;
  record->language = NumberOf(section, "language", 0);
  if (!ReadPlatform(section, record)) return false;
  ReadPackageKeys(section, record);
  return true;
}

}  // namespace

bool ReadComponentInfo(const Catalogue& catalogue, const char* section, _COMPONENT_INFO* record,
                       bool keep) {
  if (section == nullptr || record == nullptr || !catalogue.IsLoaded()) return false;
  return ReadSection(catalogue.FindSection(section), section, record, keep);
}

bool ReadComponentInfo(const char* ini_path, const char* section, _COMPONENT_INFO* record,
                       bool keep) {
  if (section == nullptr || record == nullptr) return false;
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(ini_path);
  if (file == nullptr || !file->IsLoaded()) return false;
  return ReadSection(file->FindSection(section), section, record, keep);
}

bool ReadComponentInfo(const CProfileFile& file, const char* section, _COMPONENT_INFO* record,
                       bool keep) {
  if (section == nullptr || record == nullptr) return false;
  return ReadSection(file.FindSection(section), section, record, keep);
}
