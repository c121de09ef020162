#pragma once

#include <cstdint>

#include "updater.h"

// Release-channel names and the source-flag test of the host settings.

// "devel" when the development switch is set, else by the channel word:
// "pre-release", "deferred" or "production". A null record is production.
const char* GetChannelName(const UPDATER_SETTINGS* settings);
// The same without "deferred", which reads as "production".
const char* GetChannelNameShort(const UPDATER_SETTINGS* settings);

// Kind 2 needs only source flag A clear; every other kind needs both clear.
bool TestSourceFlags(const UPDATER_SETTINGS* settings, uint32_t kind);
