#include "updater/engine/install/delta_step.h"

#include <string>

#include "platform/util/charset.h"
#include "platform/util/engine_bridge.h"
#include "platform/util/update_errors.h"
#include "updater/engine/install/module_moves.h"

namespace {

// A path as the engine takes it; false when it does not convert whole.
bool ToEnginePath(const char* path, std::u16string* out) {
  bool complete = true;
  *out = NarrowToU16String(path, kStrToNul, &complete);
  return complete && out->size() < UPD_PATH_SIZE;
}

const char16_t* OrNull(const char* path, const std::u16string& converted) {
  return path == nullptr || *path == '\0' ? nullptr : converted.c_str();
}

}  // namespace

UpdError ApplyDeltaPackage(const InstallRun& run, const char* base, const char* patch,
                           const char* output, bool last_step) {
  std::u16string base16;
  std::u16string patch16;
  std::u16string output16;
  if (!ToEnginePath(base, &base16) || !ToEnginePath(patch, &patch16) ||
      !ToEnginePath(output, &output16)) {
    return kUpdBadEncoding;
  }
  NotifyInstallStep(InstallStep::kEnginePatch, patch, output);
  const uint32_t raw = EngineCall3011(run.engine, OrNull(base, base16), OrNull(patch, patch16),
                                      OrNull(output, output16), last_step ? 0 : kPatchIntermediate);
  if (run.engineResult != nullptr) *run.engineResult = raw;
  if (raw == 0 && run.target->cancellation.IsCancelled()) return kUpdInstallAborted;
  return static_cast<UpdError>(MapEngineError(raw));
}
