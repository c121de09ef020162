#include "updater/engine/servers/server_draw.h"

#include <cstdlib>
#include <ctime>
#include <random>

void SeedRandOncePerThread() {
  thread_local bool seeded = false;
  if (seeded) return;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  seeded = true;
}

uint32_t DrawWithRand(uint32_t total) { return static_cast<uint32_t>(std::rand()) % total; }

uint32_t DrawWithThreadTwister(uint32_t total) {
  thread_local std::mt19937 twister{std::random_device{}()};
  std::uniform_int_distribution<uint32_t> spread(0, total - 1);
  return spread(twister);
}

std::optional<int64_t> DrawServer(const CDefServersArray& servers, const ServerDraw& draw) {
  const uint32_t total = TotalWeight(servers);
  if (total == 0) return std::nullopt;
  return FindDrawnServer(servers, draw(total));
}
