#include <cstdlib>
#include <ctime>

#include "platform/util/channel_names.h"
#include "platform/util/host_bridge.h"
#include "platform/util/host_fields.h"
#include "platform/util/update_errors.h"
#include "repository/appupdate/app_update_manager.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/install/pcu_installer.h"

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

// The host's answers the repository client asks for, through the callback of
// the settings bound to the context.
class ContextRepositoryHost final : public IRepositoryHost {
 public:
  explicit ContextRepositoryHost(const UPDATER_CONTEXT& context) : context_(context) {}
  bool AskDeal(RepositoryDealBlock& deal) override { return NotifyHostDealId(&context_, &deal); }
  bool AskOsInfo(RepositoryOsInfo& os) override { return NotifyHostOsInfo(&context_, &os); }

 private:
  const UPDATER_CONTEXT& context_;
};

// The run record of an export: the context unpacked under its lock, once the
// call's settings are bound, with the host that answers the client.
class BoundRun {
 public:
  BoundRun(UPDATER_CONTEXT& context, const UPDATER_SETTINGS& settings)
      : host_(context),
        run_{.settings = settings,
             .fields = ReadRepositorySettings(settings),
             .updateFolder = HostFieldString(context.updateFolder),
             .appVersion = HostFieldString(context.appVersion),
             .session = *context.session,
             .host = host_,
             .installer = context.pcuManager ? context.pcuManager->installer() : nullptr,
             .sourceFlag = SourceFlag(&settings)} {}
  BoundRun(const BoundRun&) = delete;
  BoundRun& operator=(const BoundRun&) = delete;
  const RepositoryRun& run() const { return run_; }

 private:
  ContextRepositoryHost host_;
  RepositoryRun run_;
};

// Phase 6 for the run; back to idle at its end unless the host took the
// package over (outcome 1, answer kUpdHostInstalling) and goes on installing.
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
    const BoundRun bound(*params->context, *params->settings);
    return AppUpdateManager::CheckForAppUpdate(bound.run(), *params, &result->updates);
  });
}

UPD_ERROR UpdPerformAppUpdate3(const APP_UPDATE_PARAMS* params, APP_UPDATE_RESULT* result) {
  return RunAppExport(params, result, kUpdateResultSize, [&] {
    AppUpdatePhase phase(params->context);
    const BoundRun bound(*params->context, *params->settings);
    const UPD_ERROR code = AppUpdateManager::PerformAppUpdate(bound.run(), *params, *result);
    StoreAttemptTime(params->settings);
    phase.KeepWhenHostInstalls(result->outcome, code);
    return code;
  });
}
