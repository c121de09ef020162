#pragma once

#include <cstdint>
#include <optional>

#include "updater/engine/catalogue/catalogue.h"

// Gates that let only a share of the clients take an update: the catalogue
// names a probability ("UpdateProb") that weakens with every hour since the
// client's last attempt, and a time ("UpdateMaxDelay") after which every
// client goes ahead. The arithmetic is the servers' contract; every value is
// taken with defined integer behaviour.

struct GateInput {
  int32_t updateProb = 0;              // "UpdateProb"
  int32_t updateMaxDelay = 0;          // "UpdateMaxDelay", compared as unsigned
  std::optional<int64_t> lastAttempt;  // nothing: never attempted
  int64_t now = 0;                     // seconds since 1970
  int32_t draw = 0;                    // a non-negative value of rand()
};

// True when the client goes ahead.
[[nodiscard]] bool ProbabilityGateDecision(const GateInput& input);

// The gate of section "PRELIMINARY" (whether preliminary packages are read)
// and of section "SETUP" (whether a run updates at all) of the catalogue,
// with the current time and rand().
[[nodiscard]] bool PreliminaryUpdateGate(const Catalogue& catalogue,
                                         std::optional<int64_t> last_attempt);
[[nodiscard]] bool UpdateProbabilityGate(const Catalogue& catalogue,
                                         std::optional<int64_t> last_attempt);
