#pragma once

#include <cstdint>
#include <optional>

#include "platform/os/os_abort.h"

#include "updater.h"
#include "updater/engine/run/update_run.h"

// The entry of the working exports. Each one runs, in this order: context
// (kUpdNoContext), settings (kUpdNoSettings), then the optional checks it names below, then
// takes the context lock with a ContextCall, tests the stop flag where it
// refuses work after UpdStopUpdates (kUpdStopped), and binds its settings.

enum EntryCheck : uint32_t {
  kCheckCallback = 0x1,  // kUpdNoEventCallback without an event callback
  kCheckBusy = 0x2,      // kUpdBusy while another call runs (read without the lock)
};

// The code of the first failing check, else kUpdOk. Nothing changes.
[[nodiscard]] UpdError CheckEntry(const UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                                  uint32_t checks);

// Stores the phase and, when the bound settings have an event callback,
// raises event 6 with it; returns the previous phase.
uint32_t SetUpdatePhase(UPDATER_CONTEXT* context, uint32_t phase);

// One working call on a context: holds the context lock (a second caller
// waits) until it goes out of scope. Whatever path leaves the export (a
// return or an exception), the phase it set is restored (event 6), the
// settings bound before it are bound again and the lock is released. The
// engine's runs set their phases through it.
class ContextCall final : public RunPhases {
 public:
  explicit ContextCall(UPDATER_CONTEXT* context);
  ~ContextCall();
  ContextCall(const ContextCall&) = delete;
  ContextCall& operator=(const ContextCall&) = delete;

  // UpdStopUpdates ran and UpdResetUpdate did not yet.
  [[nodiscard]] bool Stopped() const;
  // Binds, for the length of the call, the settings and the call's token
  // (the run's, the session's and the socket waits' of this thread), so
  // that only an abort raised since the call entered cancels it.
  void Bind(const UPDATER_SETTINGS* settings);
  // SetUpdatePhase; the first call remembers the phase to restore.
  void SetPhase(uint32_t phase) override;

 private:
  UPDATER_CONTEXT* context_;
  CancelToken entered_;
  CancelToken outer_cancel_;
  std::optional<OsCancelScope> wait_scope_;
  const UPDATER_SETTINGS* outer_settings_ = nullptr;
  bool bound_ = false;
  bool phase_set_ = false;
  uint32_t outer_phase_ = 0;
};
