#pragma once

#include "updater.h"
#include "updater/engine/run/server_group_switch.h"

// The group switch's steps on a context: the catalogue step under the
// context lock (DownloadVerLocked), the backup of the left group's newer
// modules under the lock, and the context's download session.
[[nodiscard]] GroupSwitchSteps LibraryGroupSwitchSteps(UPDATER_CONTEXT* context);
