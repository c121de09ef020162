// The catalogue download export. Until the catalogue step lands it answers
// its entry checks and then 3 (not supported in this build).

#include "platform/util/update_errors.h"
#include "updater.h"

UPD_ERROR UpdDownloadVERFile(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings) {
  if (context == nullptr) return kUpdNoContext;
  if (settings == nullptr) return kUpdNoSettings;
  return kUpdNotSupported;
}
