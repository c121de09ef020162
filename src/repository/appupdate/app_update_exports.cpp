#include <cstdlib>
#include <ctime>

#include "platform/util/channel_names.h"
#include "platform/util/update_errors.h"
#include "repository/appupdate/app_update_manager.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/engine/common/stored_settings.h"

namespace {

// The smallest result records of the two exports.
constexpr uint32_t kCheckResultSize = 36;
constexpr uint32_t kUpdateResultSize = 328;

template <typename Params, typename Result>
UPD_ERROR CheckAppEntry(const Params* params, const Result* result, uint32_t result_size) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (params == nullptr) return kUpdNoContext;
  const UPD_ERROR refusal = CheckEntry(params->context, params->settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  if (result == nullptr || result->cbSize < result_size) return kUpdResultTooSmall;
  return kUpdOk;
}

// Downloads of these exports carry source flag 1 unless the settings say
// the source kind 2 is not in use.
bool SourceFlag(const UPDATER_SETTINGS* settings) { return !TestSourceFlags(settings, 2); }

// Phase 6 for the run; back to idle at its end unless the host took the
// package over (outcome 1, answer 0x5008) and goes on installing.
class AppUpdatePhase {
 public:
  explicit AppUpdatePhase(UPDATER_CONTEXT* context) : context_(context) {
    (void)SetUpdatePhase(context_, UPD_PHASE_APP_UPDATE);
  }
  ~AppUpdatePhase() {
    if (!keep_) (void)SetUpdatePhase(context_, UPD_PHASE_IDLE);
  }
  AppUpdatePhase(const AppUpdatePhase&) = delete;
  AppUpdatePhase& operator=(const AppUpdatePhase&) = delete;
  void KeepWhenHostInstalls(uint32_t outcome, UPD_ERROR code) {
    keep_ = outcome == 1 && code == kUpdHostInstalling;
  }

 private:
  UPDATER_CONTEXT* context_;
  bool keep_ = false;
};

void StoreAttemptTime(const UPDATER_SETTINGS* settings) {
  SettingsStorePtr store = OpenSettingsStore(settings);
  if (store == nullptr) return;
  (void)SettingsStoreSetDword(store.get(), kKeyLastAppUpdateAttempt,
                              static_cast<uint32_t>(std::time(nullptr)));
}

// The entry both exports share: the record checks, then, under the context
// lock, the stop test, cleared flags and the bound settings before the work.
template <typename Params, typename Result, typename Work>
UPD_ERROR RunAppExport(const Params* params, Result* result, uint32_t result_size, Work work) {
  if (UPD_ERROR refusal = CheckAppEntry(params, result, result_size); refusal != kUpdOk) {
    return refusal;
  }
  return GuardExport([&]() -> UPD_ERROR {
    ContextCall call(params->context);
    if (call.Stopped()) return kUpdStopped;
    params->context->resultFlags = 0;
    call.Bind(params->settings);
    return work();
  });
}

}  // namespace

UPD_ERROR UpdCheckForAppUpdate(const APP_UPDATE_CHECK_PARAMS* params,
                               APP_UPDATE_CHECK_RESULT* result) {
  return RunAppExport(params, result, kCheckResultSize, [&] {
    return AppUpdateManager::CheckForAppUpdate(*params->context, SourceFlag(params->settings),
                                               *params, &result->updates);
  });
}

UPD_ERROR UpdPerformAppUpdate3(const APP_UPDATE_PARAMS* params, APP_UPDATE_RESULT* result) {
  return RunAppExport(params, result, kUpdateResultSize, [&] {
    AppUpdatePhase phase(params->context);
    const UPD_ERROR code = AppUpdateManager::PerformAppUpdate(
        *params->context, SourceFlag(params->settings), *params, *result);
    StoreAttemptTime(params->settings);
    phase.KeepWhenHostInstalls(result->outcome, code);
    return code;
  });
}
