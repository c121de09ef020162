#include "updater/api/context_call.h"

#include "platform/os/os_abort.h"
#include "platform/util/host_bridge.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"

UPD_ERROR CheckEntry(const UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                     uint32_t checks) {
  if (context == nullptr) return kUpdNoContext;
  if (settings == nullptr) return kUpdNoSettings;
  if ((checks & kCheckCallback) != 0 && settings->eventCallback == nullptr) {
    return kUpdNoEventCallback;
  }
  // Without the lock, so that a busy context answers at once instead of
  // waiting for the call in progress.
  if ((checks & kCheckBusy) != 0 && context->phase.load() != UPD_PHASE_IDLE) return kUpdBusy;
  return kUpdOk;
}

uint32_t SetUpdatePhase(UPDATER_CONTEXT* context, uint32_t phase) {
  const uint32_t previous = context->phase.exchange(phase);
  const UPDATER_SETTINGS* settings = context->settings;
  if (HasHostCallback(settings)) {
    settings->eventCallback(UPD_EVENT_PHASE, &phase, settings->userData);
  }
  return previous;
}

ContextCall::ContextCall(UPDATER_CONTEXT* context) : context_(context) {
  OsMutexLock(context_->lock);
}

ContextCall::~ContextCall() {
  if (phase_set_) SetUpdatePhase(context_, outer_phase_);
  if (bound_) context_->settings = outer_settings_;
  OsMutexUnlock(context_->lock);
}

bool ContextCall::Stopped() const { return context_->stopFlag.load() != 0; }

void ContextCall::Bind(const UPDATER_SETTINGS* settings) {
  context_->abortFlag.exchange(0);
  OsExchangeAbortFlag(0);
  outer_settings_ = context_->settings;
  context_->settings = settings;
  bound_ = true;
}

void ContextCall::SetPhase(uint32_t phase) {
  const uint32_t previous = SetUpdatePhase(context_, phase);
  if (!phase_set_) outer_phase_ = previous;
  phase_set_ = true;
}
