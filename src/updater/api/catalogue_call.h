#pragma once

#include <cstdint>

#include "updater.h"

// The catalogue step on its own (UpdDownloadVERFile, and the group switch).
// Takes the context lock (waiting for a working call in progress) and
// refuses with 0x2107 after UpdStopUpdates. When a working call was in
// progress, answers its catalogue result; otherwise binds settings for the
// call, resets the download session and runs DownloadUpdateVerFile in mode 1.
[[nodiscard]] UPD_ERROR DownloadVerLocked(UPDATER_CONTEXT* context,
                                          const UPDATER_SETTINGS* settings, uint32_t attempts);
