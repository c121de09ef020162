#include "net/tls/transfer_pace.h"

#include <algorithm>
#include <climits>

void CTransferPace::Start(const MinimumRate& rule, uint64_t now_ms) {
  rule_ = rule;
  active_ = rule.bounded();
  cut_ = false;
  if (!active_) return;
  start_ms_ = now_ms;
  window_ms_ = uint64_t{rule.seconds} * 1000;
  slice_ms_ = std::max<uint64_t>(1, window_ms_ / kSlices);
  newest_start_ms_ = now_ms;
  newest_ = 0;
  last_ms_ = now_ms;
  bytes_.fill(0);
  deadline_ms_ = now_ms + window_ms_;
}

int CTransferPace::WaitMs(int timeout_ms) const {
  if (!active_) return timeout_ms;
  const uint64_t left = deadline_ms_ > last_ms_ ? deadline_ms_ - last_ms_ : 0;
  if (timeout_ms >= 0 && static_cast<uint64_t>(timeout_ms) <= left) return timeout_ms;
  return static_cast<int>(std::min<uint64_t>(left, INT_MAX));
}

void CTransferPace::Note(uint64_t now_ms, uint64_t bytes) {
  if (!active_) return;
  Advance(now_ms);
  if (bytes != 0) {
    bytes_[newest_] += bytes;
    UpdateDeadline();
  }
  last_ms_ = std::max(last_ms_, now_ms);
  // Bytes that came with this receive count before the check: they may
  // have waited in the socket while the caller was busy.
  if (now_ms >= deadline_ms_) cut_ = true;
}

void CTransferPace::Advance(uint64_t now_ms) {
  if (now_ms < newest_start_ms_ + slice_ms_) return;
  const uint64_t steps = (now_ms - newest_start_ms_) / slice_ms_;
  for (uint64_t i = 0; i < std::min<uint64_t>(steps, kSlices); ++i) {
    newest_ = (newest_ + 1) % kSlices;
    bytes_[newest_] = 0;
  }
  newest_start_ms_ += steps * slice_ms_;
}

void CTransferPace::UpdateDeadline() {
  // The newest slices that together hold the rule's bytes keep the transfer
  // alive for one window after the oldest of them ends.
  uint64_t sum = 0;
  for (uint32_t age = 0; age < kSlices; ++age) {
    sum += bytes_[(newest_ + kSlices - age) % kSlices];
    if (sum >= rule_.bytes) {
      deadline_ms_ = newest_start_ms_ - uint64_t{age} * slice_ms_ + slice_ms_ + window_ms_;
      return;
    }
  }
  // Fewer than the rule's bytes in the whole window: the transfer has until
  // one window after its start (already past for an older transfer).
  deadline_ms_ = start_ms_ + window_ms_;
}
