// Exports of the application updates. Until the repository client lands
// each answers its entry checks and then 3 (not supported in this build).

#include <cstdlib>
#include <ctime>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"

namespace {

// The smallest result records of the two exports.
constexpr uint32_t kCheckResultSize = 36;
constexpr uint32_t kUpdateResultSize = 328;

template <typename Params, typename Result>
UPD_ERROR EnterAppUpdate(const Params* params, const Result* result, uint32_t result_size) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (params == nullptr) return kUpdNoContext;
  const UPD_ERROR refusal = CheckEntry(params->context, params->settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  if (result == nullptr || result->cbSize < result_size) return kUpdResultTooSmall;
  return GuardExport([&] {
    ContextCall call(params->context);
    if (call.Stopped()) return kUpdStopped;
    params->context->resultFlags = 0;
    call.Bind(params->settings);
    return kUpdNotSupported;
  });
}

}  // namespace

UPD_ERROR UpdCheckForAppUpdate(const APP_UPDATE_CHECK_PARAMS* params,
                               APP_UPDATE_CHECK_RESULT* result) {
  return EnterAppUpdate(params, result, kCheckResultSize);
}

UPD_ERROR UpdPerformAppUpdate3(const APP_UPDATE_PARAMS* params, APP_UPDATE_RESULT* result) {
  return EnterAppUpdate(params, result, kUpdateResultSize);
}
