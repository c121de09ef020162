#include "platform/os/os_abort.h"

namespace {

std::atomic<uint8_t> g_abort_flag{0};

// The token of the innermost OsCancelScope of this thread.
thread_local const CancelToken* t_wait_token = nullptr;

}  // namespace

uint8_t OsExchangeAbortFlag(uint8_t value) { return g_abort_flag.exchange(value); }

uint8_t OsGetAbortFlag() { return g_abort_flag.load(std::memory_order_relaxed); }

OsCancelScope::OsCancelScope(const CancelToken& token) : outer_(t_wait_token), token_(token) {
  t_wait_token = &token_;
}

OsCancelScope::~OsCancelScope() { t_wait_token = outer_; }

bool OsWaitCancelled() {
  if (OsGetAbortFlag() != 0) return true;
  return t_wait_token != nullptr && t_wait_token->IsCancelled();
}
