#include "updater/engine/lists/host_component_list.h"

#include <cstring>
#include <vector>

#include "platform/store/profile_cache.h"
#include "platform/util/strings.h"
#include "updater/engine/lists/component_reader.h"

namespace {

bool IsListedComponent(const CProfileSection& section) {
  const char* category = section.GetValue("category", "");
  return std::strchr(section.GetName(), '_') != nullptr && AsciiStrICmp(category, "component") == 0;
}

void FillEntry(const char* section, const _COMPONENT_INFO& record, COMPONENT_LIST_ENTRY* entry) {
  SafeStrCopy(entry->displayName, sizeof entry->displayName, record.displayName);
  SafeStrCopy(entry->sectionName, sizeof entry->sectionName, section);
  SafeStrNCopy(entry->prefix, sizeof entry->prefix, section, std::strcspn(section, "_"));
  entry->platform = record.platform;
  entry->language = record.language;
  entry->build = record.build;
}

}  // namespace

int32_t ReadComponentList(const char* ini_path, COMPONENT_LIST_ENTRY* entries,
                          size_t size_in_bytes) {
  if (entries == nullptr) return -1;
  std::memset(entries, 0, size_in_bytes);
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(ini_path);
  if (file == nullptr || !file->IsLoaded()) return -1;
  std::vector<const char*> sections;
  for (uint32_t i = 0; i < file->GetSectionCount(); ++i) {
    const CProfileSection* section = file->GetSectionAt(i);
    if (IsListedComponent(*section)) sections.push_back(section->GetName());
  }
  const auto count = static_cast<int32_t>(sections.size());
  if (sections.size() > size_in_bytes / sizeof(COMPONENT_LIST_ENTRY)) return -count;
  int32_t filled = 0;
  for (const char* section : sections) {
    _COMPONENT_INFO record;
    if (ReadComponentInfo(ini_path, section, &record, false)) {
      FillEntry(section, record, &entries[filled++]);
    }
  }
  return filled;
}
