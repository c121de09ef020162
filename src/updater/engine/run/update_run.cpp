#include "updater/engine/run/update_run.h"

#include "updater/engine/session/download_session.h"

CatalogueRun CatalogueRunOf(UpdateRun& run, CDownloadSession& session) {
  return {run.host,       session,        run.serverState, run.server,
          run.catalogues, run.lastResult, run.cancellation};
}

ListBuild ListBuildOf(UpdateRun& run) {
  return {run.host,        run.lists,  run.installed,
          run.catalogue,   run.server, run.times.lastAttempt,
          run.cancellation};
}

PackageDownload PackageDownloadOf(UpdateRun& run, CDownloadSession& session) {
  return {run.host,       session, run.lists, run.catalogues.current, run.server.serverRoot,
          run.resultFlags};
}

InstallTarget InstallTargetOf(UpdateRun& run, CBackupStore* store) {
  return {run.host, run.lists.reverseList, run.installed.baseNupList, store, run.cancellation};
}

MirrorPass MirrorPassOf(UpdateRun& run) {
  return {run.host, run.lists, run.catalogues.currentLast, run.cancellation};
}
