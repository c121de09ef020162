#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "updater/engine/servers/server_list.h"

// The random sources of server choice, behind one seam so that a test can
// script the draws: a draw takes a total (at least 1) and answers a number
// in [0, total).
using ServerDraw = std::function<uint32_t(uint32_t total)>;

// The standard library's generator (rand), as the "VER" roulette draws.
[[nodiscard]] uint32_t DrawWithRand(uint32_t total);
// A uniformly distributed number from a 32-bit Mersenne Twister of the
// calling thread, seeded once per thread from the system's random device,
// as the catalogue step draws a default server.
[[nodiscard]] uint32_t DrawWithThreadTwister(uint32_t total);

// Seeds the standard library's generator with the time, the first time a
// thread asks.
void SeedRandOncePerThread();

// The entry that a draw picks from a list of running totals: none when the
// list is empty or its total is 0.
[[nodiscard]] std::optional<int64_t> DrawServer(const CDefServersArray& servers,
                                                const ServerDraw& draw);
