#pragma once

#include <atomic>
#include <cstdint>

// Process-wide abort flag. While it is raised every poll wait of the OS layer
// lasts at most kOsAbortedWaitMs. OsExchangeAbortFlag is the only writer; the
// update engine does not raise it, since it would cut the waits of every
// context of the process: each run polls its own CancelToken instead.

// Longest single wait while the abort flag (or the wait's token) is raised.
inline constexpr int kOsAbortedWaitMs = 100;

// Stores value (0 clears) by atomic exchange and returns the previous value.
uint8_t OsExchangeAbortFlag(uint8_t value);

// The current value; a read may miss a concurrent exchange, which only delays
// the shortening of waits to the next wait.
[[nodiscard]] uint8_t OsGetAbortFlag();

class CancelSource;

// What a run polls to learn that it was cancelled. A token taken from a
// CancelSource is cancelled by every Raise of that source from the moment the
// token was taken on, so a Raise that comes while the run is still entering
// is never lost, and one that came before it never reaches it. A
// default-made token is never cancelled. Copies poll the same source.
class CancelToken {
 public:
  CancelToken() = default;
  // Cancelled while flag is non-zero (for owners that keep a plain flag).
  explicit CancelToken(const std::atomic<uint8_t>& flag) : flag_(&flag) {}

  // This token that is also cancelled while flag is non-zero.
  [[nodiscard]] CancelToken WithFlag(const std::atomic<uint8_t>& flag) const {
    CancelToken both = *this;
    both.flag_ = &flag;
    return both;
  }

  [[nodiscard]] bool IsCancelled() const {
    if (flag_ != nullptr && flag_->load() != 0) return true;
    return raises_ != nullptr && raises_->load() != seen_;
  }

 private:
  friend class CancelSource;
  CancelToken(const std::atomic<uint32_t>& raises, uint32_t seen) : raises_(&raises), seen_(seen) {}

  const std::atomic<uint32_t>* raises_ = nullptr;
  uint32_t seen_ = 0;
  const std::atomic<uint8_t>* flag_ = nullptr;
};

// The cancellation of one owner (a library context): Raise from any thread.
class CancelSource {
 public:
  CancelSource() = default;
  CancelSource(const CancelSource&) = delete;
  CancelSource& operator=(const CancelSource&) = delete;

  void Raise() { raises_.fetch_add(1); }
  // A token that every later Raise cancels.
  [[nodiscard]] CancelToken TokenFromNow() const { return {raises_, raises_.load()}; }

 private:
  std::atomic<uint32_t> raises_{0};
};

// Binds a token to the calling thread for the scope's life: every poll wait
// of the thread then lasts at most kOsAbortedWaitMs once the token is
// cancelled, and a wait in progress ends within that time. Scopes nest; the
// outer token comes back when the inner scope ends.
class OsCancelScope {
 public:
  explicit OsCancelScope(const CancelToken& token);
  ~OsCancelScope();
  OsCancelScope(const OsCancelScope&) = delete;
  OsCancelScope& operator=(const OsCancelScope&) = delete;

 private:
  const CancelToken* outer_;
  CancelToken token_;
};

// The process-wide flag is raised, or the token bound to the calling thread
// is cancelled.
[[nodiscard]] bool OsWaitCancelled();
