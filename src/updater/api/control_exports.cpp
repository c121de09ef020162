#include "updater/api/context.h"

// The control calls take no lock: they come from another thread while a
// working export holds it, and only change atomic flags that the work polls.

void UpdAbortUpdate(UPDATER_CONTEXT* context) {
  if (context == nullptr) return;
  // Cancels the call in progress and one that already entered, and no other
  // context's: the steps, the transports and the socket waits of this
  // context's call poll its token.
  context->abort.Raise();
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
