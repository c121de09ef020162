#include "updater/engine/lists/channel_sections.h"

#include "platform/store/profile_cache.h"
#include "updater/engine/common/component_tables.h"
#include "updater/engine/lists/component_reader.h"

namespace {

int64_t AppendChannel(CListBase& list, const char* catalogue_path, ComponentListKind kind,
                      uint32_t category) {
  const int64_t before = list.GetSize();
  ForEachChannelSection(catalogue_path, kind, [&](_COMPONENT_INFO& record) {
    if (record.category == category) list.Add(record);
  });
  return list.GetSize() - before;
}

}  // namespace

void ForEachChannelSection(const char* catalogue_path, ComponentListKind kind,
                           const std::function<void(_COMPONENT_INFO&)>& visit) {
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(catalogue_path);
  if (file == nullptr || !file->IsLoaded()) return;
  for (uint32_t i = 0; i < file->GetSectionCount(); ++i) {
    const char* section = file->GetSectionName(i);
    if (section == nullptr || ListKindOfSection(section) != kind) continue;
    _COMPONENT_INFO record;
    if (ReadComponentInfo(catalogue_path, section, &record, false)) visit(record);
  }
}

int64_t ReadContinuousSections(CListBase& list, const char* catalogue_path) {
  return AppendChannel(list, catalogue_path, kListContinuous, kCategoryEngine);
}

int64_t ReadPreliminarySections(CListBase& list, const char* catalogue_path) {
  return AppendChannel(list, catalogue_path, kListPreliminary, kCategoryEngine);
}

int64_t ReadReverseSections(CListBase& list, const char* catalogue_path) {
  return AppendChannel(list, catalogue_path, kListReverse, kCategoryEngine);
}

int64_t ReadContinuousSectionsOfCategory(CListBase& list, const char* catalogue_path,
                                         uint32_t category) {
  return AppendChannel(list, catalogue_path, kListContinuous, category);
}

int64_t ReadReverseSectionsOfCategory(CListBase& list, const char* catalogue_path,
                                      uint32_t category) {
  return AppendChannel(list, catalogue_path, kListReverse, category);
}

int64_t ReadPlainSectionsOfCategory(CListBase& list, const char* catalogue_path,
                                    uint32_t category) {
  const int64_t before = list.GetSize();
  ForEachChannelSection(catalogue_path, kListPlain, [&](_COMPONENT_INFO& record) {
    if (IsModuleCategory(record.category) && record.category == category) {
      list.AddOrMark(record, 0);
    }
  });
  return list.GetSize() - before;
}
