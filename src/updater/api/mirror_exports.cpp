// Exports of the mirror.

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/os/os_folder.h"
#include "platform/util/host_fields.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/api/run_binding.h"
#include "updater/engine/mirror/mirror_pcus.h"
#include "updater/engine/run/mirror_update_run.h"

namespace {

// The mirror types: all three catalogues, the root one, "dll", "dylib".
constexpr uint32_t kMaxMirrorType = 3;

UPD_ERROR CheckMirrorSettings(const UPDATER_SETTINGS* settings) {
  const MIRROR_SETTINGS* mirror = settings->mirrorSettings;
  if (mirror == nullptr) return kUpdNoMirrorSettings;
  if (mirror->callback == nullptr) return kUpdNoMirrorCallback;
  if (mirror->enabled == 0) return kUpdNothingNew;
  if (mirror->mirrorType > kMaxMirrorType) return kUpdInvalidRequest;
  return kUpdOk;
}

}  // namespace

UPD_ERROR UpdPerformMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback);
  if (refusal == kUpdOk) refusal = CheckMirrorSettings(settings);
  if (refusal == kUpdOk) refusal = CheckEntry(context, settings, kCheckBusy);
  if (refusal != kUpdOk) return refusal;
  return GuardExport([&]() -> UPD_ERROR {
    ContextCall call(context);
    if (call.Stopped()) return kUpdStopped;
    context->resultFlags = 0;
    call.Bind(settings);
    UpdateRun run = BindRun(*context);
    EngineServices services = BindServices(*context);
    return PerformMirrorUpdate(run, services, call, *settings->mirrorSettings);
  });
}

UPD_ERROR UpdPerformFullMirror(const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return kUpdNoSettings;
  if (settings->mirrorSettings == nullptr) return kUpdNoMirrorSettings;
  return GuardExport([&]() -> UPD_ERROR {
    const std::string data = HostFieldString(settings->mirrorSettings->mirrorFolder) + "/download";
    // A mirror run reads no modules, but a context needs a modules folder.
    const std::string modules = data + "/modules";
    if (OsCreateFolderTree(modules.c_str()) != 0) return kUpdNoContext;
    UPDATER_CONTEXT* context = UpdInitialize2(data.c_str(), modules.c_str(), nullptr, nullptr, 1);
    UPD_ERROR result = kUpdNoContext;
    if (context != nullptr) {
      result = UpdPerformMirror(context, settings);
      UpdUninitialize(context);
    }
    // The whole temporary tree goes, its dot-less sub-folders included.
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);
    return result;
  });
}

UPD_ERROR UpdCopyPcusToMirror(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  if (context == nullptr) return kUpdNoContext;
  return GuardExport([&] {
    return CopyPcusToMirror(context->updateFolder, context->currentLastVerPath, settings);
  });
}
