#include "platform/os/os_abort.h"
#include "updater/api/context.h"

// The control calls take no lock: they come from another thread while a
// working export holds it, and only change atomic flags that the work polls.

void UpdAbortUpdate(UPDATER_CONTEXT* context) {
  if (context == nullptr) return;
  context->abortFlag.exchange(1);
  // Every socket wait of the process now ends within a short time, so a
  // transfer in progress sees the abort soon.
  OsExchangeAbortFlag(1);
  if (context->session) context->session->Abort();
}

void UpdStopUpdates(UPDATER_CONTEXT* context) {
  if (context == nullptr) return;
  context->stopFlag.exchange(1);
  UpdAbortUpdate(context);
}

void UpdResetUpdate(UPDATER_CONTEXT* context) {
  if (context == nullptr) return;
  context->phase.store(UPD_PHASE_IDLE);
  context->stopFlag.exchange(0);
}
