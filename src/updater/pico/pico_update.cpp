// The fetch of one pico's files arrives with the download session.

#include "platform/util/update_errors.h"
#include "updater/pico/pico_manager.h"

UPD_ERROR CPicoManager::PerformUpdate(UPDATER_CONTEXT*, uint32_t) { return kUpdNotSupported; }
