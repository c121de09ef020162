#pragma once

#include <cstdint>

#include "platform/util/host_binding.h"
#include "updater.h"

// The library's road to its host: one wrapper per host event. Each builds
// the event's record zero-filled on the stack and calls the settings' event
// callback (System V) with the settings' user pointer. Without a callback
// (or without settings) nothing is sent and each wrapper answers its default.

bool HasHostCallback(const UPDATER_SETTINGS* settings);

// Event 2 {kind, value, word}.
void NotifyHostStatus(uint32_t word, const UPDATER_SETTINGS* settings, uint32_t kind,
                      uint64_t value);
// Event 3 {kind, value, name cut to 4095 bytes, word}; a null name is empty.
void NotifyHostFile(uint32_t word, const UPDATER_SETTINGS* settings, uint32_t kind, uint64_t value,
                    const char* name);
// Event 19: the host writes its comma list of update-group names into
// buffer (UPD_GROUP_LIST_SIZE bytes, zero-filled here first).
void NotifyHostUpdateGroups(const UPDATER_SETTINGS* settings, char* buffer);
// Event 32: the server root the packages came from, in a zeroed buffer of
// 256 bytes (cut to 255 characters).
void NotifyHostPackagesDownloaded(const UPDATER_SETTINGS* settings, const char* server_root);
// Mirror code 5 with null data through the mirror callback.
void NotifyMirrorAgreementPending(const MIRROR_SETTINGS* mirror_settings);
// Mirror code 0 with a pointer to the error code through the mirror callback.
void NotifyMirrorError(const MIRROR_SETTINGS* mirror_settings, uint32_t code);
// Event 7 with a pointer to value.
void NotifyHostInstallResult(const UPDATER_SETTINGS* settings, uint32_t value);
// Event 25 (no data) before the catalogue step leaves the configured server;
// the host's answer, 0 without a callback.
[[nodiscard]] uint32_t NotifyHostServerFallback(const UPDATER_SETTINGS* settings);

// 1 (go on) without asking when the size is not above the limit in KiB times
// 1024, when asking is switched off or without a callback; otherwise the
// host's answer to event 20 (0 declines). Sizes and limits compare as 64-bit
// unsigned numbers.
[[nodiscard]] uint32_t ConfirmLargeDownload(const UPDATER_SETTINGS* settings, uint64_t size);

// Events 26 (with the engine folder as UTF-16, ended with '/') and 28 ask the
// host for an engine; the pair comes back as the host left it, zero when
// there is no callback. A pair whose words are not both non-zero is no engine.
[[nodiscard]] ENGINE_DISPATCH NotifyHostEngineForFolder(const UPDATER_SETTINGS* settings,
                                                        const char* folder);
[[nodiscard]] ENGINE_DISPATCH NotifyHostEngine(const UPDATER_SETTINGS* settings);
// Events 27 and 29 release a pair that event 26 or 28 handed out.
void NotifyHostEngineForFolderEnd(const UPDATER_SETTINGS* settings, ENGINE_DISPATCH* dispatch);
void NotifyHostEngineEnd(const UPDATER_SETTINGS* settings, ENGINE_DISPATCH* dispatch);

// Events 30 and 31 pass the caller's buffer through the callback of the
// context's current settings; true when a callback exists and answered 0.
[[nodiscard]] bool NotifyHostDealId(const HostBinding* context, void* buffer);
[[nodiscard]] bool NotifyHostOsInfo(const HostBinding* context, void* buffer);
