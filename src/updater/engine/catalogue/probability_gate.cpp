#include "updater/engine/catalogue/probability_gate.h"

#include <cstdlib>

#include "platform/os/os_time.h"

namespace {

constexpr int64_t kSecondsPerHour = 3600;

bool Gate(const char* section, const Catalogue& catalogue, std::optional<int64_t> last_attempt) {
  GateInput input;
  input.updateProb = catalogue.Int(section, "UpdateProb", 0);
  input.updateMaxDelay = catalogue.Int(section, "UpdateMaxDelay", 0);
  input.lastAttempt = last_attempt;
  input.now = OsTime();
  input.draw = std::rand();
  return ProbabilityGateDecision(input);
}

}  // namespace

bool ProbabilityGateDecision(const GateInput& input) {
  auto prob = static_cast<uint32_t>(input.updateProb);
  if (input.lastAttempt && *input.lastAttempt < input.now) {
    // Taken unsigned: last < now, so the difference is exact for any pair.
    const uint64_t elapsed =
        static_cast<uint64_t>(input.now) - static_cast<uint64_t>(*input.lastAttempt);
    const uint64_t hours = elapsed / kSecondsPerHour;
    if (hours != 0) prob = static_cast<uint32_t>(prob / hours);
  }
  if (prob == 0) return true;
  if (static_cast<uint32_t>(input.updateMaxDelay) <= static_cast<uint32_t>(input.now)) return true;
  // The product wraps in 32 bits and is read as signed: a share of the draws
  // comes out negative.
  const uint32_t product = static_cast<uint32_t>(input.draw) * prob;
  return static_cast<int32_t>(product) > 0;
}

bool PreliminaryUpdateGate(const Catalogue& catalogue, std::optional<int64_t> last_attempt) {
  return Gate("PRELIMINARY", catalogue, last_attempt);
}

bool UpdateProbabilityGate(const Catalogue& catalogue, std::optional<int64_t> last_attempt) {
  return Gate("SETUP", catalogue, last_attempt);
}
