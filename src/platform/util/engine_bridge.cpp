#include "platform/util/engine_bridge.h"

#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"

namespace {

template <typename... Args>
uint32_t Call(const ENGINE_DISPATCH* dispatch, uint32_t id, Args... args) {
  if (dispatch == nullptr || dispatch->entry == nullptr) return kEngineNoEntry;
  return dispatch->entry(id, args...);
}

struct EngineError {
  uint32_t result;
  UpdError error;
};

// Engine results below this one are the engine's own failures (kUpdEngineFailed).
constexpr uint32_t kEngineOwnFailureEnd = 6000;

// Engine results with a meaning of their own; everything else is
// kUpdEngineFailed.
constexpr EngineError kEngineErrors[] = {
    {0, kUpdOk},
    {6000, kUpdBadFile},
    {6001, kUpdEngineDataFailed},
    {6002, kUpdMissing},
    {6003, kUpdOutOfMemory},
    {6904, kUpdEngineFileFailed},
    {6908, kUpdWriteFailed},
    {6910, kUpdWriteFailed},
    {6911, kUpdSignatureMismatch},
    {7002, kUpdOutOfMemory},
    {7003, kUpdOpenFailed},
    {7004, kUpdReadFailed},
    {7005, kUpdWriteFailed},
    {7009, kUpdResultTooSmall},
    {7010, kUpdInvalidArgument},
    {7014, kUpdSignatureMismatch},
    {7015, kUpdNoContext},
    {7016, kUpdMissing},
    {7020, kUpdMissing},
};

}  // namespace

uint32_t EngineCall3018(const ENGINE_DISPATCH* dispatch, uint32_t word1, uint32_t word2,
                        uint32_t flags, const char16_t* path, uint64_t word5,
                        EngineHandle* handle) {
  return Call(dispatch, ENGINE_FN_OPEN_MODULE, word1, word2, flags, path, word5, handle);
}

uint32_t EngineCall3029(const ENGINE_DISPATCH* dispatch, EngineHandle handle, uint32_t* type,
                        uint32_t* platform, const char16_t** name) {
  return Call(dispatch, ENGINE_FN_MODULE_TYPE, handle, type, platform, name);
}

uint32_t EngineCall3022(const ENGINE_DISPATCH* dispatch, EngineHandle handle,
                        const char16_t** version, uint64_t word3, uint32_t* build, uint64_t word5,
                        uint64_t word6, uint64_t word7) {
  return Call(dispatch, ENGINE_FN_MODULE_VERSION, handle, version, word3, build, word5, word6,
              word7);
}

uint32_t EngineCall3020(const ENGINE_DISPATCH* dispatch, EngineHandle handle) {
  return Call(dispatch, ENGINE_FN_CLOSE_MODULE, handle);
}

uint32_t EngineCall3011(const ENGINE_DISPATCH* dispatch, const char16_t* base,
                        const char16_t* patch, const char16_t* output, uint32_t flags) {
  return Call(dispatch, ENGINE_FN_APPLY_PATCH, base, patch, output, flags);
}

uint32_t EngineCall3042(const ENGINE_DISPATCH* dispatch, const char16_t* path, uint32_t* id,
                        uint32_t* sequence) {
  return Call(dispatch, ENGINE_FN_PICO_ID, path, id, sequence);
}

UpdError MapEngineError(uint32_t result) {
  if (result >= 1 && result < kEngineOwnFailureEnd) return kUpdEngineFailed;
  for (const EngineError& e : kEngineErrors) {
    if (e.result != result) continue;
    return e.error == kUpdWriteFailed ? MapDiskFullError(kUpdWriteFailed) : e.error;
  }
  return kUpdEngineFailed;
}
