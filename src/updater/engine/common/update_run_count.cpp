#include "updater/engine/common/update_run_count.h"

#include <atomic>

namespace {

// Relaxed: the count only tells whether any run happened yet.
std::atomic<uint32_t> g_update_runs{0};

}  // namespace

uint32_t UpdateRunCount() { return g_update_runs.load(std::memory_order_relaxed); }

void CountUpdateRun() { g_update_runs.fetch_add(1, std::memory_order_relaxed); }
