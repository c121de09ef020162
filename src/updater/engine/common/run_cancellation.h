#pragma once

#include <atomic>
#include <cstdint>

// The cancellation of one working call, as the steps poll it: the flag that
// UpdAbortUpdate raises from another thread. Copies poll the same flag.
class RunCancellation {
 public:
  explicit RunCancellation(const std::atomic<uint8_t>& flag) : flag_(&flag) {}

  [[nodiscard]] bool IsCancelled() const { return flag_->load() != 0; }

 private:
  const std::atomic<uint8_t>* flag_;
};
