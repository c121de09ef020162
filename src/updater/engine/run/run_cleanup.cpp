#include "updater/engine/run/run_cleanup.h"

#include "platform/store/profile_cache.h"
#include "updater/api/context.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/session/download_session.h"

RunCleanup::~RunCleanup() {
  context_.session->PurgeDownloadCache();
  context_.lists.Clear();
  context_.serverState.Reset();
  context_.installed.Clear();
  context_.mirror->Clear();
  ProfileCacheClear();
}
