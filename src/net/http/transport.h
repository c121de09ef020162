#pragma once

#include <atomic>
#include <cstdint>

// Common base of the download session's transports (HTTP, HTTPS, share). It
// carries the abort flag, the only member another thread touches: the host's
// abort call sets it while a transfer runs on the session's thread, which
// reads it between blocks and at the end of a transfer.
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
  [[nodiscard]] bool IsAborted() const { return abort_.load() != 0; }

 protected:
  ITransport() = default;

 private:
  std::atomic<uint8_t> abort_{0};
};
