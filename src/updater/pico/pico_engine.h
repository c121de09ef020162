#pragma once

#include "platform/util/host_bridge.h"
#include "updater.h"

// The engine the host hands out through event 28, released through event 29
// on every way out.
class PicoEngine {
 public:
  explicit PicoEngine(const UPDATER_SETTINGS* settings)
      : settings_(settings), dispatch_(NotifyHostEngine(settings)) {}
  ~PicoEngine() {
    if (Held()) NotifyHostEngineEnd(settings_, &dispatch_);
  }
  PicoEngine(const PicoEngine&) = delete;
  PicoEngine& operator=(const PicoEngine&) = delete;

  bool Held() const { return dispatch_.hostWord != 0 && dispatch_.entry != nullptr; }
  const ENGINE_DISPATCH* dispatch() const { return &dispatch_; }

 private:
  const UPDATER_SETTINGS* settings_;
  ENGINE_DISPATCH dispatch_;
};
