#pragma once

#include <array>
#include <cstdint>

// The slowest a transfer may move: fewer than `bytes` received in any
// `seconds` ends it. A zero field means no bound.
struct MinimumRate {
  uint32_t bytes = 0;
  uint32_t seconds = 0;

  [[nodiscard]] constexpr bool bounded() const { return bytes != 0 && seconds != 0; }
};

// The rule of every transfer of the HTTP transport (head and body, a TLS
// handshake, a proxy's CONNECT answer). Each receive already waits at most a
// minute, but a peer that sends one byte every few seconds keeps every wait
// short and would hold a download for ever. A kilobyte a minute cuts such a
// peer within about a minute and leaves every real link alone: 1 KiB/s, far
// below any link that carries updates, is sixty times this rate.
inline constexpr MinimumRate kTransferMinimumRate{1024, 60};

// The bytes one transfer received, checked against its MinimumRate over a
// sliding window. The window is kept in kSlices slices: the bytes of a slice
// count as received at its end, so the rule never cuts early and cuts late by
// at most one slice. Callers give the monotonic time (ms) of each receive, so
// the bookkeeping costs no clock reads of its own.
class CTransferPace {
 public:
  static constexpr uint32_t kSlices = 60;

  // A new transfer at now_ms; an unbounded rule tracks nothing.
  void Start(const MinimumRate& rule, uint64_t now_ms);
  [[nodiscard]] bool active() const { return active_; }

  // The longest a wait that starts now may last, in ms: timeout_ms
  // (negative: no limit of its own) cut to the time left before the rule
  // breaks, counted from the last receive (the caller's work since then is
  // not worth a clock read). Not active: timeout_ms.
  [[nodiscard]] int WaitMs(int timeout_ms) const;
  // A receive that ended at now_ms with bytes (0 for a timeout or a
  // failure); marks the transfer cut when the rule is broken by then.
  void Note(uint64_t now_ms, uint64_t bytes);
  // The transfer fell below its rule (until the next Start).
  [[nodiscard]] bool cut() const { return active_ && cut_; }
  // The time (ms) at which the rule breaks unless more bytes come.
  [[nodiscard]] uint64_t deadline_ms() const { return deadline_ms_; }

 private:
  // Moves the newest slice forward to the one holding now_ms.
  void Advance(uint64_t now_ms);
  void UpdateDeadline();

  MinimumRate rule_;
  bool active_ = false;
  bool cut_ = false;
  uint64_t start_ms_ = 0;
  uint64_t window_ms_ = 0;
  uint64_t slice_ms_ = 1;
  uint64_t newest_start_ms_ = 0;  // where the newest slice begins
  uint32_t newest_ = 0;
  uint64_t last_ms_ = 0;  // the last receive, or the start
  uint64_t deadline_ms_ = 0;
  std::array<uint64_t, kSlices> bytes_{};
};
