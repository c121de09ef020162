#include "updater/engine/servers/server_roulette.h"

#include <utility>

CServerRoulette::CServerRoulette(CDefServersArray servers, ServerDraw draw)
    : servers_(std::move(servers)), draw_(std::move(draw)) {
  SeedRandOncePerThread();
  ToRunningTotals(servers_);
}

const _DEF_SERVER* CServerRoulette::PickServer() {
  if (last_pick_ == kExhausted) return nullptr;
  const uint32_t total = TotalWeight(servers_);
  if (total == 0) {
    last_pick_ = kExhausted;
    return nullptr;
  }
  // A total is never below the running totals before it, so only a draw out
  // of range finds nothing; it falls to the last entry.
  const int64_t pick = FindDrawnServer(servers_, draw_(total)).value_or(servers_.GetSize() - 1);
  last_pick_ = static_cast<uint32_t>(pick);
  RemoveServerWeight(servers_, pick);
  return &servers_[pick];
}
