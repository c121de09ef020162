#include "updater/api/context_call.h"

#include "platform/util/host_bridge.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"

UpdError CheckEntry(const UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
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

// The token is taken before the lock: an abort raised while the call waits
// for it, or between the lock and the work, still ends the call.
ContextCall::ContextCall(UPDATER_CONTEXT* context)
    : context_(context), entered_(context->abort.TokenFromNow()) {
  OsMutexLock(context_->lock);
}

ContextCall::~ContextCall() {
  if (phase_set_) SetUpdatePhase(context_, outer_phase_);
  if (bound_) {
    context_->settings = outer_settings_;
    context_->runCancel = outer_cancel_;
    if (context_->session) context_->session->SetCancelToken(outer_cancel_);
    wait_scope_.reset();
  }
  OsMutexUnlock(context_->lock);
}

bool ContextCall::Stopped() const { return context_->stopFlag.load() != 0; }

void ContextCall::Bind(const UPDATER_SETTINGS* settings) {
  outer_settings_ = context_->settings;
  outer_cancel_ = context_->runCancel;
  context_->settings = settings;
  context_->runCancel = entered_;
  if (context_->session) context_->session->SetCancelToken(entered_);
  wait_scope_.emplace(entered_);
  bound_ = true;
}

void ContextCall::SetPhase(uint32_t phase) {
  const uint32_t previous = SetUpdatePhase(context_, phase);
  if (!phase_set_) outer_phase_ = previous;
  phase_set_ = true;
}
