#include "updater/engine/lists/update_groups.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/util/crc32.h"
#include "platform/util/host_bridge.h"

namespace {

// This value never names a group: it is neither stored nor matched.
constexpr uint32_t kNoGroup = 0xFFFFFFFFu;

uint32_t GroupCrc(std::string_view name) { return Crc32(name.data(), name.size(), 0); }

bool Holds(const CGroupList& groups, uint32_t crc) {
  return std::find(groups.begin(), groups.end(), crc) != groups.end();
}

// Calls visit with each non-empty comma-separated name; stops when it
// answers true and returns whether it did.
template <class Visit>
bool AnyName(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const size_t comma = std::min(text.find(','), text.size());
    const std::string_view name = text.substr(0, comma);
    if (!name.empty() && visit(name)) return true;
    text.remove_prefix(std::min(comma + 1, text.size()));
  }
  return false;
}

}  // namespace

void QueryHostGroupList(CGroupList& groups, const UPDATER_SETTINGS* settings) {
  if (!HasHostCallback(settings)) return;
  char buffer[UPD_GROUP_LIST_SIZE];
  NotifyHostUpdateGroups(settings, buffer);
  // The host may fill the whole buffer without a terminating NUL.
  ParseGroupList(groups, std::string_view(buffer, strnlen(buffer, sizeof buffer)));
}

void ParseGroupList(CGroupList& groups, std::string_view text) {
  AnyName(text, [&](std::string_view name) {
    const uint32_t crc = GroupCrc(name);
    if (crc != kNoGroup && !Holds(groups, crc)) groups.Add(crc);
    return false;
  });
}

bool IsInGroupList(const CGroupList& groups, std::string_view text) {
  return AnyName(text, [&](std::string_view name) {
    const uint32_t crc = GroupCrc(name);
    return crc != kNoGroup && Holds(groups, crc);
  });
}
