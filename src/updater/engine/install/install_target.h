#pragma once

#include "platform/util/host_binding.h"
#include "updater/engine/common/run_cancellation.h"
#include "updater/engine/lists/update_lists.h"

class CBackupStore;

// What an installation works with besides the lists it installs from: the
// call's settings with the update folder (where the reverse channel's bases
// are rebuilt) and the modules folder, the reverse channel and the bases its
// patches start from, the backup store (null: no snapshot is touched) and
// the run's cancellation.
struct InstallTarget {
  const HostBinding& host;
  CReverseList& reverseList;
  CBaseNupList& baseNupList;
  CBackupStore* backupStore;
  RunCancellation cancellation;
};
