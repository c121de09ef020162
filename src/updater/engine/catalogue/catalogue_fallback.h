#pragma once

#include <cstdint>

#include "updater.h"
#include "updater/engine/catalogue/server_selection.h"

// The catalogue step of a run around single fetches: refresh rounds while a
// catalogue names other default servers, the host's event 25 before leaving
// a configured server, the catalogue's "VER" redirect (a server, or "auto"
// for a weighted draw over its listed servers), and the copy to the last
// catalogue. Every result is also left in context.lastResult.

[[nodiscard]] UPD_ERROR DownloadUpdateVerWithFallback(CServerSelectionState& state,
                                                      UPDATER_CONTEXT& context,
                                                      const char* catalog_path,
                                                      const char* last_catalog_path,
                                                      const char* suffix, uint32_t category,
                                                      bool mode, uint32_t attempts);

// The run's catalogue (currentVerPath, engine category).
[[nodiscard]] UPD_ERROR DownloadUpdateVerFile(CServerSelectionState& state,
                                              UPDATER_CONTEXT& context, bool mode,
                                              uint32_t attempts);
// The mirror's three catalogues: "upd.ver" (engine), "upd_dll.ver" under
// "dll", "upd_dylib.ver" under "dylib".
[[nodiscard]] UPD_ERROR DownloadMirrorUpdateVer(CServerSelectionState& state,
                                                UPDATER_CONTEXT& context, bool mode,
                                                uint32_t attempts);
[[nodiscard]] UPD_ERROR DownloadMirrorDllVer(CServerSelectionState& state, UPDATER_CONTEXT& context,
                                             bool mode, uint32_t attempts);
[[nodiscard]] UPD_ERROR DownloadMirrorDylibVer(CServerSelectionState& state,
                                               UPDATER_CONTEXT& context, bool mode,
                                               uint32_t attempts);

// The catalogue step on its own (UpdDownloadVERFile, and the group switch).
// Takes the context lock (waiting for a working call in progress) and
// refuses with 0x2107 after UpdStopUpdates. When a working call was in
// progress, answers its catalogue result; otherwise binds settings for the
// call, resets the download session and runs DownloadUpdateVerFile in mode 1.
[[nodiscard]] UPD_ERROR DownloadVerLocked(UPDATER_CONTEXT* context,
                                          const UPDATER_SETTINGS* settings, uint32_t attempts);
