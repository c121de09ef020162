#include "platform/os/os_poll.h"

#include <algorithm>
#include <cerrno>

#include "platform/os/os_abort.h"
#include "platform/os/os_error.h"
#include "platform/os/os_time.h"

namespace {

short RequestBits(uint32_t kind) {
  switch (kind) {
    case kOsPollRead:
      return kOsPollReadRequest;
    case kOsPollWrite:
      return kOsPollWriteRequest;
    case kOsPollPriority:
      return POLLPRI;
    default:
      return 0;
  }
}

short ReportBits(uint32_t kind) {
  switch (kind) {
    case kOsPollRead:
      return kOsPollReadReport;
    case kOsPollWrite:
      return kOsPollWriteReport;
    case kOsPollPriority:
      return POLLPRI;
    default:
      return 0;
  }
}

// The time this wait may take: false when a started budget is used up.
bool WaitTime(int timeout_ms, OS_WAIT_BUDGET* budget, int* wait_ms) {
  *wait_ms = timeout_ms;
  if (budget != nullptr && timeout_ms >= 1) {
    const uint64_t now = OsGetTickCountMs();
    if (budget->started == 0) {
      budget->started = 1;
      budget->start_ms = now;
    } else {
      *wait_ms = static_cast<int32_t>(static_cast<uint32_t>(timeout_ms) -
                                      static_cast<uint32_t>(now - budget->start_ms));
      if (*wait_ms < 0) return false;
    }
  }
  if (OsWaitCancelled()) *wait_ms = kOsAbortedWaitMs;
  return true;
}

int PollOnce(OS_POLLSET* set, int wait_ms) {
  int ready = 0;
  do {
    ready = poll(set->entries.data(), set->entries.size(), wait_ms);
  } while (ready < 0 && errno == EINTR);
  return ready;
}

// A long wait runs in slices of kOsAbortedWaitMs so that an abort raised
// while it runs ends it too (as a timeout), not only the waits after it.
int PollInSlices(OS_POLLSET* set, int wait_ms) {
  if (wait_ms >= 0 && wait_ms <= kOsAbortedWaitMs) return PollOnce(set, wait_ms);
  const uint64_t deadline = OsGetTickCountMs() + static_cast<uint64_t>(wait_ms);
  for (;;) {
    int slice = kOsAbortedWaitMs;
    if (wait_ms >= 0) {
      const uint64_t now = OsGetTickCountMs();
      if (now >= deadline) return 0;
      slice = static_cast<int>(std::min<uint64_t>(deadline - now, kOsAbortedWaitMs));
    }
    const int ready = PollOnce(set, slice);
    if (ready != 0 || OsWaitCancelled()) return ready;
  }
}

}  // namespace

void OsPollSetAdd(OS_POLLSET* set, uint32_t kind, int descriptor) {
  const short bits = RequestBits(kind);
  const auto found = set->index.find(descriptor);
  if (found != set->index.end()) {
    set->entries[found->second].events |= bits;
    return;
  }
  set->index.emplace(descriptor, set->entries.size());
  set->entries.push_back(pollfd{descriptor, bits, 0});
}

bool OsPollSetTest(const OS_POLLSET* set, uint32_t kind, int descriptor) {
  const auto found = set->index.find(descriptor);
  if (found == set->index.end()) return false;
  return (set->entries[found->second].revents & ReportBits(kind)) != 0;
}

void OsPollSetReset(OS_POLLSET* set) {
  set->entries.clear();
  set->index.clear();
}

void OsPollSetDestroy(OS_POLLSET* set) {
  std::vector<pollfd>().swap(set->entries);
  std::unordered_map<int, size_t>().swap(set->index);
}

int OsPollSetWait(OS_POLLSET* set, int timeout_ms, OS_WAIT_BUDGET* budget) {
  int wait_ms = 0;
  if (!WaitTime(timeout_ms, budget, &wait_ms)) {
    OsSetOwnError(kOsTimedOut);
    return 0;
  }
  const int ready = PollInSlices(set, wait_ms);
  if (ready < 0) {
    OsSetErrnoError(errno);
    return -1;
  }
  if (ready == 0) {
    OsSetOwnError(kOsTimedOut);
    return 0;
  }
  int count = 0;
  for (pollfd& entry : set->entries) {
    if ((entry.revents & POLLNVAL) != 0) {
      OsSetErrnoError(EBADF);
      return -1;
    }
    const short reported = entry.revents;
    if ((reported & kOsPollReadReport) != 0) {
      entry.revents |= kOsPollReadRequest;
      ++count;
    }
    if ((reported & kOsPollWriteReport) != 0) {
      entry.revents |= kOsPollWriteRequest;
      ++count;
    }
    if ((reported & POLLPRI) != 0) ++count;
  }
  return count;
}
