#include "updater/engine/lists/channel_sections.h"

#include "updater/engine/common/component_tables.h"
#include "updater/engine/lists/component_reader.h"

namespace {

int64_t AppendChannel(CListBase& list, const Catalogue& catalogue, ComponentListKind kind,
                      uint32_t category) {
  const int64_t before = list.GetSize();
  ForEachChannelSection(catalogue, kind, [&](_COMPONENT_INFO& record) {
    if (record.category == category) list.Add(record);
  });
  return list.GetSize() - before;
}

}  // namespace

void ForEachChannelSection(const Catalogue& catalogue, ComponentListKind kind,
                           const std::function<void(_COMPONENT_INFO&)>& visit) {
  if (!catalogue.IsLoaded()) return;
  for (uint32_t i = 0; i < catalogue.SectionCount(); ++i) {
    const char* section = catalogue.SectionName(i);
    if (section == nullptr || ListKindOfSection(section) != kind) continue;
    _COMPONENT_INFO record;
    if (ReadComponentInfo(catalogue, section, &record, false)) visit(record);
  }
}

int64_t ReadContinuousSections(CListBase& list, const Catalogue& catalogue) {
  return AppendChannel(list, catalogue, kListContinuous, kCategoryEngine);
}

int64_t ReadPreliminarySections(CListBase& list, const Catalogue& catalogue) {
  return AppendChannel(list, catalogue, kListPreliminary, kCategoryEngine);
}

int64_t ReadReverseSections(CListBase& list, const Catalogue& catalogue) {
  return AppendChannel(list, catalogue, kListReverse, kCategoryEngine);
}

int64_t ReadContinuousSectionsOfCategory(CListBase& list, const Catalogue& catalogue,
                                         uint32_t category) {
  return AppendChannel(list, catalogue, kListContinuous, category);
}

int64_t ReadReverseSectionsOfCategory(CListBase& list, const Catalogue& catalogue,
                                      uint32_t category) {
  return AppendChannel(list, catalogue, kListReverse, category);
}

int64_t ReadPlainSectionsOfCategory(CListBase& list, const Catalogue& catalogue,
                                    uint32_t category) {
  const int64_t before = list.GetSize();
  ForEachChannelSection(catalogue, kListPlain, [&](_COMPONENT_INFO& record) {
    if (IsModuleCategory(record.category) && record.category == category) {
      list.AddOrMark(record, 0);
    }
  });
  return list.GetSize() - before;
}
