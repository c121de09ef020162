#include "updater/engine/run/run_cleanup.h"

#include "platform/store/profile_cache.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/run/update_run.h"
#include "updater/engine/session/download_session.h"

RunCleanup::~RunCleanup() {
  services_.session.PurgeDownloadCache();
  run_.lists.Clear();
  run_.serverState.Reset();
  run_.installed.Clear();
  services_.mirror.Clear();
  ProfileCacheClear();
}
