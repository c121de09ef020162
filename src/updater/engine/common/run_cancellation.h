#pragma once

#include <atomic>
#include <cstdint>

#include "platform/os/os_abort.h"

// The cancellation of one working call, as the steps poll it: the token of
// the run, which UpdAbortUpdate cancels from another thread. Copies poll the
// same token.
class RunCancellation {
 public:
  explicit RunCancellation(const CancelToken& token) : token_(token) {}
  // A plain flag that cancels while it is non-zero.
  explicit RunCancellation(const std::atomic<uint8_t>& flag) : token_(flag) {}

  [[nodiscard]] bool IsCancelled() const { return token_.IsCancelled(); }
  [[nodiscard]] const CancelToken& token() const { return token_; }

 private:
  CancelToken token_;
};
