#pragma once

#include <atomic>
#include <cstdint>

#include "platform/os/os_abort.h"

// Common base of the download session's transports (HTTP, HTTPS, share). It
// carries what ends a transfer early, read between blocks and at the end of
// a transfer: the token of the run it serves (cancelled from another thread)
// and its own abort flag, for a transport used on its own.
//
// A transport that keeps more per-run state (the HTTP transport's User-Agent,
// proxy choice and kept addresses) overrides ClearAbort to reset that too and
// calls this one for the flag; the session calls ClearAbort at the start of
// every run.
class ITransport {
 public:
  virtual ~ITransport() = default;
  ITransport(const ITransport&) = delete;
  ITransport& operator=(const ITransport&) = delete;

  virtual void ClearAbort() { (void)abort_.exchange(0); }
  // Any thread.
  virtual void Abort() { (void)abort_.exchange(1); }
  [[nodiscard]] bool IsAborted() const { return abort_.load() != 0 || cancel_.IsCancelled(); }
  // The token of the run the transport now serves.
  void SetCancelToken(const CancelToken& token) { cancel_ = token; }

 protected:
  ITransport() = default;

 private:
  std::atomic<uint8_t> abort_{0};
  CancelToken cancel_;
};
