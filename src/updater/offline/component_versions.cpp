#include "updater/offline/component_versions.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "updater/engine/install/package_chain.h"

namespace {

struct Reach {
  ListIndex index;
  uint64_t build;
};

// Per level: for each key (the base a delta applies to; 0 for full
// packages) the package reaching furthest from it.
using LevelBest = std::unordered_map<uint64_t, Reach>;

bool TakesPart(const _COMPONENT_INFO& entry, const char* module, uint32_t platform) {
  return !IsDropped(entry) && HasModule(entry, module, platform);
}

}  // namespace

uint32_t ResolveComponentVersions(const CListBase& list, const char* module, uint32_t platform,
                                  ChainList& chain) {
  std::array<LevelBest, kMaxChainLevel + 1> levels;
  for (int32_t level = kMaxChainLevel; level >= kLevelFull; --level) {
    const LevelBest* above = level < kMaxChainLevel ? &levels[level + 1] : nullptr;
    LevelBest& best = levels[level];
    for (ListIndex i = 0; i < static_cast<ListIndex>(list.GetSize()); ++i) {
      const _COMPONENT_INFO& entry = list[i];
      if (entry.level != level || !TakesPart(entry, module, platform)) continue;
      const uint64_t key = level == kLevelFull ? 0 : ValueOrAbsent(entry.base);
      uint64_t reach = entry.build;
      if (above != nullptr) {
        const auto next = above->find(entry.build);
        if (next != above->end()) reach = next->second.build;
      }
      reach = std::max(reach, key);
      const auto [slot, added] = best.try_emplace(key, Reach{i, reach});
      if (!added && reach > slot->second.build) slot->second = Reach{i, reach};
    }
  }
  const auto head = levels[kLevelFull].find(0);
  if (head == levels[kLevelFull].end()) return 0;
  ListIndex current = head->second.index;
  chain.push_back(current);
  for (int32_t level = kLevelFull + 1; level <= kMaxChainLevel; ++level) {
    const auto next = levels[level].find(list[current].build);
    if (next == levels[level].end()) break;
    current = next->second.index;
    chain.push_back(current);
  }
  return static_cast<uint32_t>(head->second.build);
}
