#include "updater/engine/lists/component_list.h"

#include <algorithm>
#include <cstring>

#include "platform/util/strings.h"

namespace {

// Delta levels run from 1 to this.
constexpr int32_t kMaxDeltaLevel = 9;

bool SameName(const char* a, const char* b) { return AsciiStrICmp(a, b) == 0; }

// A delta of the same component one level up from current, based on its build.
bool IsNextDelta(const _COMPONENT_INFO& entry, const _COMPONENT_INFO& current, int64_t level) {
  return entry.level == level && entry.base == current.build &&
         entry.category == current.category && HasModule(entry, current.module, current.platform);
}

}  // namespace

template <class Match>
ListIndex CListBase::FindFirst(ListIndex start, bool count_dropped, Match match) const {
  const auto& self = *this;
  for (int64_t i = std::max<ListIndex>(start, 0); i < GetSize(); ++i) {
    if (!count_dropped && IsDropped(self[i])) continue;
    if (match(self[i])) return static_cast<ListIndex>(i);
  }
  return kNoEntry;
}

ListIndex CListBase::FindByNamePlatformLevelKind(const char* module, uint32_t platform,
                                                 std::optional<int32_t> level, uint32_t list_kind,
                                                 ListIndex start) const {
  return FindFirst(start, false, [&](const _COMPONENT_INFO& e) {
    return e.level == level && e.listKind == list_kind && HasModule(e, module, platform);
  });
}

ListIndex CListBase::FindByNameAndId(const char* name, uint32_t category, ListIndex start) const {
  return FindFirst(start, false, [&](const _COMPONENT_INFO& e) {
    return e.category == category && SameName(e.name, name);
  });
}

ListIndex CListBase::FindByNameCategoryBuildBase(const char* name, uint32_t category,
                                                 uint64_t build,
                                                 std::optional<uint32_t> base) const {
  return FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
    return e.category == category && e.build == build && e.base == base && SameName(e.name, name);
  });
}

ListIndex CListBase::FindByModuleBuildBase(const char* module, uint32_t platform, uint64_t build,
                                           std::optional<uint32_t> base) const {
  return FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
    return e.build == build && e.base == base && HasModule(e, module, platform);
  });
}

ListIndex CListBase::FindMatching(const _COMPONENT_INFO& record) const {
  return FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
    return e.category == record.category && e.listKind == record.listKind &&
           e.level == record.level && e.base == record.base && e.build == record.build &&
           e.language == record.language && HasModule(e, record.module, record.platform);
  });
}

ListIndex CListBase::FindByModuleBuild(const char* module, uint32_t platform,
                                       uint64_t build) const {
  return FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
    return e.build == build && HasModule(e, module, platform);
  });
}

ListIndex CListBase::FindByModuleLevel(const char* module, uint32_t platform,
                                       std::optional<int32_t> level) const {
  return FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
    return e.level == level && HasModule(e, module, platform);
  });
}

ListIndex CListBase::FindByName(const char* module, uint32_t platform) const {
  return FindFirst(0, false,
                   [&](const _COMPONENT_INFO& e) { return HasModule(e, module, platform); });
}

ListIndex CListBase::FindByIdNamePlatform(uint32_t category, const char* module, uint32_t platform,
                                          uint32_t mask) const {
  return FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
    return e.category == category && (e.flags & mask) != 0 && HasModule(e, module, platform);
  });
}

ListIndex CListBase::FindFirstPending(bool to_fetch) const {
  return FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
    return !IsPresent(e) && (to_fetch ? IsToFetch(e) : IsSelected(e));
  });
}

ListIndex CListBase::FindEngineModule(const char* module, uint32_t platform,
                                      std::optional<int32_t> level, bool count_dropped) const {
  return FindExact(kCategoryEngine, module, platform, level, count_dropped);
}

ListIndex CListBase::FindExact(uint32_t category, const char* module, uint32_t platform,
                               std::optional<int32_t> level, bool count_dropped) const {
  return FindFirst(0, count_dropped, [&](const _COMPONENT_INFO& e) {
    return e.category == category && e.level == level && HasModule(e, module, platform);
  });
}

ListIndex CListBase::FindByIdNamePlatformFrom(uint32_t category, const char* module,
                                              uint32_t platform, ListIndex start) const {
  return FindFirst(start, true, [&](const _COMPONENT_INFO& e) {
    return e.category == category && e.platform == platform && std::strcmp(e.module, module) == 0;
  });
}

ListIndex CListBase::FindFirstReference() const {
  return FindFirst(0, true,
                   [](const _COMPONENT_INFO& e) { return (e.flags & kComponentReference) != 0; });
}

uint64_t CListBase::GetSelectedSize(uint64_t start) const {
  uint64_t total = start;
  for (const _COMPONENT_INFO& entry : *this) {
    // An entry of unknown size counts as the largest a catalogue can give.
    if (IsSelectedForDownload(entry)) total += ValueOrAbsent(entry.size);
  }
  return total;
}

uint32_t CListBase::FindDeltaFor(ListIndex index, const CListBase* other, ListIndex* found) const {
  const CListBase& origin = other != nullptr ? *other : *this;
  if (index < 0 || index >= origin.GetSize()) return 0;
  const _COMPONENT_INFO* current = &origin[index];
  ListIndex at = index;
  for (int32_t level = 1; level <= kMaxDeltaLevel; ++level) {
    const ListIndex next = FindFirst(
        0, false, [&](const _COMPONENT_INFO& e) { return IsNextDelta(e, *current, level); });
    if (next == kNoEntry) break;
    at = next;
    current = &(*this)[next];
  }
  if (found != nullptr) *found = at;
  return static_cast<uint32_t>(current->build);
}

uint32_t CListBase::GetNewestBuild(const char* module, uint32_t platform,
                                   const CListBase* other) const {
  const CListBase& origin = other != nullptr ? *other : *this;
  const ListIndex full = origin.FindFirst(0, true, [&](const _COMPONENT_INFO& e) {
    return e.level == kLevelFull && HasModule(e, module, platform);
  });
  if (full == kNoEntry) return 0;
  const _COMPONENT_INFO* current = &origin[full];
  // Each step climbs one level, so the walk ends within the list's size.
  for (;;) {
    const int64_t level = current->level ? int64_t{*current->level} + 1 : 0;
    const ListIndex next = FindFirst(0, false, [&](const _COMPONENT_INFO& e) {
      return e.level == level && e.base == current->build && HasModule(e, module, platform);
    });
    if (next == kNoEntry) return static_cast<uint32_t>(current->build);
    current = &(*this)[next];
  }
}
