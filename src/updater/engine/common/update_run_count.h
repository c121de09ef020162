#pragma once

#include <cstdint>

// Module update runs that obtained a catalogue, counted process-wide. Before
// the first such run the pico query reads its picos from the catalogue copy
// that an earlier process left.
[[nodiscard]] uint32_t UpdateRunCount();
void CountUpdateRun();
