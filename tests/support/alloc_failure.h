#pragma once

// Allocation failure injection for code that allocates with std::nothrow.
// A test executable that includes this header in exactly one file with
// UPD_DEFINE_ALLOC_FAILURE defined gets replacements of the nothrow forms
// of operator new that fail the n-th allocation on the calling thread while
// a FailNthAllocation scope is alive. Other allocations are untouched.

#include <cstddef>
#include <cstdint>
#include <new>

namespace upd::test {

struct AllocationCountdown {
  bool armed = false;
  int64_t remaining = 0;  // allocations still allowed
  int64_t seen = 0;       // allocations seen while armed
};

inline AllocationCountdown& Countdown() {
  thread_local AllocationCountdown countdown;
  return countdown;
}

// True when the allocation being made must fail.
inline bool NextAllocationFails() {
  AllocationCountdown& c = Countdown();
  if (!c.armed) return false;
  ++c.seen;
  if (c.remaining == 0) return true;
  --c.remaining;
  return false;
}

// Lets `allowed` nothrow allocations succeed, then fails every later one
// until the scope ends.
class FailNthAllocation {
 public:
  explicit FailNthAllocation(int64_t allowed) { Countdown() = {true, allowed, 0}; }
  ~FailNthAllocation() { Countdown().armed = false; }
  FailNthAllocation(const FailNthAllocation&) = delete;
  FailNthAllocation& operator=(const FailNthAllocation&) = delete;
  int64_t Seen() const { return Countdown().seen; }
};

}  // namespace upd::test

#ifdef UPD_DEFINE_ALLOC_FAILURE
// The replacements hand out memory of the ordinary forms, so that the
// sanitizers see matching allocation and release.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (upd::test::NextAllocationFails()) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (upd::test::NextAllocationFails()) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
#endif
