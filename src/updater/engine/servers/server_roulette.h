#pragma once

#include <cstdint>

#include "updater/engine/servers/server_draw.h"
#include "updater/engine/servers/server_list.h"

// A weighted draw without replacement over the servers of a catalogue: each
// pick takes the picked server out of the running totals, so every server
// is tried at most once and the likelier ones tend to come first.
class CServerRoulette {
 public:
  static constexpr uint32_t kExhausted = 0xFFFFFFFFu;

  // servers carries own weights; they become running totals here. Seeds the
  // standard library's generator with the time, once per thread.
  explicit CServerRoulette(CDefServersArray servers, ServerDraw draw = DrawWithRand);

  // The next server, or null once no weight is left (and for every call
  // after that).
  [[nodiscard]] const _DEF_SERVER* PickServer();

  [[nodiscard]] const CDefServersArray& servers() const { return servers_; }
  // Index of the last pick; kExhausted once nothing is left.
  [[nodiscard]] uint32_t lastPick() const { return last_pick_; }

 private:
  CDefServersArray servers_;
  uint32_t last_pick_ = 0;
  ServerDraw draw_;
};
