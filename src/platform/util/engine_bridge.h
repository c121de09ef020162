#pragma once

#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"

// Calls into the host's scanning engine. Each wrapper passes the function id
// and its arguments, in order, to the pair's entry (Microsoft x64 convention;
// the pair itself is not passed). A null pair or a null entry gives
// kEngineNoEntry without calling anything. Paths are NUL-terminated UTF-16LE.

// Engine result of a missing entry (MapEngineError makes it kUpdNoContext).
inline constexpr uint32_t kEngineNoEntry = 7015;

// An engine's module handle, opaque to the library.
using EngineHandle = void*;

// Opens a module file: 3018 (word1, word2, flags, path, word5, &handle). The
// engine update passes 0, 0, 0x900, path, 0.
[[nodiscard]] uint32_t EngineCall3018(const ENGINE_DISPATCH* dispatch, uint32_t word1,
                                      uint32_t word2, uint32_t flags, const char16_t* path,
                                      uint64_t word5, EngineHandle* handle);
// Module type, platform id and name: 3029 (handle, &type, &platform, &name).
// The engine points name at UTF-16 text of its own, valid until 3020.
[[nodiscard]] uint32_t EngineCall3029(const ENGINE_DISPATCH* dispatch, EngineHandle handle,
                                      uint32_t* type, uint32_t* platform, const char16_t** name);
// Version text and build: 3022 (handle, &version, word3, &build, word5,
// word6, word7); the engine update passes 0 for the plain words.
[[nodiscard]] uint32_t EngineCall3022(const ENGINE_DISPATCH* dispatch, EngineHandle handle,
                                      const char16_t** version, uint64_t word3, uint32_t* build,
                                      uint64_t word5, uint64_t word6, uint64_t word7);
// Closes a module handle: 3020 (handle).
uint32_t EngineCall3020(const ENGINE_DISPATCH* dispatch, EngineHandle handle);
// Applies a patch: 3011 (base or null, patch, output, flags 0 or 16).
[[nodiscard]] uint32_t EngineCall3011(const ENGINE_DISPATCH* dispatch, const char16_t* base,
                                      const char16_t* patch, const char16_t* output,
                                      uint32_t flags);
// Pico file id and sequence number: 3042 (path, &id, &sequence).
[[nodiscard]] uint32_t EngineCall3042(const ENGINE_DISPATCH* dispatch, const char16_t* path,
                                      uint32_t* id, uint32_t* sequence);

// An engine result as an UpdError. The engine's write failures (those that
// map to kUpdWriteFailed) read kUpdDiskFull when the thread's last OS error
// is disk full.
[[nodiscard]] UpdError MapEngineError(uint32_t result);
