#pragma once

#include <cstdint>

// Process-wide abort flag. The host's abort call (on any thread) raises it and
// the start of each update run clears it; while it is raised every poll wait
// of the OS layer lasts at most kOsAbortedWaitMs, so a transfer in progress
// notices the abort quickly.

// Longest single wait while the abort flag is raised.
inline constexpr int kOsAbortedWaitMs = 100;

// Stores value (0 clears) by atomic exchange and returns the previous value.
uint8_t OsExchangeAbortFlag(uint8_t value);

// The current value; a read may miss a concurrent exchange, which only delays
// the shortening of waits to the next wait.
[[nodiscard]] uint8_t OsGetAbortFlag();
