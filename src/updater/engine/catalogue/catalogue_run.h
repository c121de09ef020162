#pragma once

#include "platform/util/host_binding.h"
#include "updater.h"
#include "updater/engine/catalogue/server_selection.h"
#include "updater/engine/common/catalogue_paths.h"
#include "updater/engine/common/run_cancellation.h"
#include "updater/engine/common/server_location.h"

class CDownloadSession;

// What the catalogue step of a run works with: the call's settings and the
// update folder (where the kept copies of fetched catalogues live), the
// download session, the run's selection state, where the catalogue came
// from (written on success), the context's catalogue paths, the last result
// (answered to a host's catalogue call that comes while a run holds the
// context) and the run's cancellation.
struct CatalogueRun {
  const HostBinding& host;
  CDownloadSession& session;
  CServerSelectionState& state;
  ServerLocation server;
  const CataloguePaths& catalogues;
  UPD_ERROR& lastResult;
  RunCancellation cancellation;
};
