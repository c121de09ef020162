#include "platform/os/os_abort.h"

#include <atomic>

namespace {

std::atomic<uint8_t> g_abort_flag{0};

}  // namespace

uint8_t OsExchangeAbortFlag(uint8_t value) { return g_abort_flag.exchange(value); }

uint8_t OsGetAbortFlag() { return g_abort_flag.load(std::memory_order_relaxed); }
