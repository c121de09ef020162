#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// Poll sets: every wait of the network code runs through OsPollSetWait, which
// also honours the process-wide abort flag and the calling thread's
// cancellation token (platform/os/os_abort.h).

enum OsPollKind : uint32_t {
  kOsPollRead = 0,
  kOsPollWrite = 1,
  kOsPollPriority = 2,
};

// Bits requested for each kind, and the reported bits that count as it.
inline constexpr short kOsPollReadRequest = POLLIN | POLLRDNORM | POLLRDBAND;
inline constexpr short kOsPollReadReport = POLLIN | POLLERR | POLLHUP | POLLRDNORM | POLLRDBAND;
inline constexpr short kOsPollWriteRequest = POLLOUT | POLLWRNORM | POLLWRBAND;
inline constexpr short kOsPollWriteReport = POLLOUT | POLLERR | POLLWRNORM | POLLWRBAND;

// One entry per descriptor; index maps a descriptor to its entry.
struct OS_POLLSET {
  std::vector<pollfd> entries;
  std::unordered_map<int, size_t> index;
};

// Time budget shared by the waits of one multi-step operation; zero-fill it
// before the first wait.
struct OS_WAIT_BUDGET {
  uint8_t started = 0;
  uint64_t start_ms = 0;
};

// Adds the kind's requested bits to the descriptor's entry (a new entry when
// the descriptor is not in the set yet). A kind above 2 requests nothing.
void OsPollSetAdd(OS_POLLSET* set, uint32_t kind, int descriptor);

// True when the descriptor is in the set and its reported events count as kind.
[[nodiscard]] bool OsPollSetTest(const OS_POLLSET* set, uint32_t kind, int descriptor);

void OsPollSetReset(OS_POLLSET* set);
void OsPollSetDestroy(OS_POLLSET* set);

// Waits up to timeout_ms (negative: no limit) or, with a budget, up to what is
// left of timeout_ms since the budget's first wait. Returns the number of
// reported kinds, 0 after a timeout (last error 15), or -1 (last error set;
// 34 when a descriptor of the set is not open).
[[nodiscard]] int OsPollSetWait(OS_POLLSET* set, int timeout_ms, OS_WAIT_BUDGET* budget);
