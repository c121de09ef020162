#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "updater/engine/common/carray.h"

// One update server: its URL and a weight. A list read from a catalogue holds
// each server's own weight; a list loaded from the settings store and the
// roulette's list hold running totals (this entry's weight plus those of all
// entries before it), so that a draw x in [0, total) picks the first entry
// whose running total is greater than x.
struct _DEF_SERVER {
  char url[256];
  uint32_t weight;
};

// The longest server URL a record holds.
inline constexpr size_t kMaxServerUrl = sizeof(_DEF_SERVER::url) - 1;

class CDefServersArray : public CArray<_DEF_SERVER> {
 public:
  // An entry whose URL equals url, ASCII case folded.
  [[nodiscard]] bool ContainsUrl(const char* url) const;
};

// Appends {url, weight}; false, nothing added, when the URL does not fit a
// record: a cut URL would name another place.
bool AddServer(CDefServersArray& servers, std::string_view url, uint32_t weight);

// Running totals from own weights, in place. A total that would pass
// 0xFFFFFFFF stays there, so the totals never fall along the list.
void ToRunningTotals(CDefServersArray& servers);
// The last running total; 0 for an empty list.
[[nodiscard]] uint32_t TotalWeight(const CDefServersArray& servers);
// The own weight of the entry at index of a list of running totals.
[[nodiscard]] uint32_t OwnWeight(const CDefServersArray& servers, int64_t index);
// The first entry whose running total is greater than x; none when x is not
// below the total.
[[nodiscard]] std::optional<int64_t> FindDrawnServer(const CDefServersArray& servers, uint32_t x);
// Takes the own weight of the entry at index out of its running total and
// those of all later entries, so it cannot be drawn again and the total
// shrinks by as much.
void RemoveServerWeight(CDefServersArray& servers, int64_t index);
