#pragma once

#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"

// The catalogue step on its own, as UpdDownloadVERFile runs it.
// Takes the context lock (waiting for a working call in progress) and
// refuses with kUpdStopped after UpdStopUpdates. When a working call was in
// progress, answers its catalogue result; otherwise binds settings for the
// call, resets the download session and runs the run's catalogue step in
// mode 1.
[[nodiscard]] UpdError DownloadVerLocked(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                                         uint32_t attempts);
