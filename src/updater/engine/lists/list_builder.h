#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/common/run_cancellation.h"
#include "updater/engine/common/server_location.h"
#include "updater/engine/lists/installed_modules.h"
#include "updater/engine/lists/update_lists.h"

// The list builder: turns the run's catalogue, the installed engine modules
// and the packages on disk into the run's lists, which the package download
// and the installation work through. Package URLs are made from the
// server root; references to the catalogue are read again from it for the
// catalogue's base URL.

// Settings flags that keep engine modules out of a run.
inline constexpr uint32_t kSettingsNoEngineModules = 0x40 | 0x80;

// What the list builder reads and fills: the call's settings with the update
// and modules folders, the run's lists and installed-modules record, the
// run's catalogue (as the catalogue step took it) and where it came from, the time of the last
// attempt (for the preliminary channel's gate) and the run's cancellation.
struct ListBuild {
  const HostBinding& host;
  CUpdateLists& lists;
  CInstalledModules& installed;
  const Catalogue& catalogue;
  ServerLocation server;
  const std::atomic<int64_t>& lastAttemptTime;
  RunCancellation cancellation;
};

// The steps of a build that the rooms above the lists provide: the scan of
// the update folder's package folders (ScanNupFolders), and the merge of the
// catalogues that the run's catalogue only refers to (MergeComponentVerFiles;
// empty for none). The merge's result does not change the build's.
using LocalPackageScan = uint32_t (*)(CListBase& list, const char* update_folder);
using ComponentCatalogueMerge = std::function<UpdError(CUpdateLists& lists)>;

// Builds every list of a module update run into the build's emptied lists
// and installed record (CInstalledModules::kEngineModuleReplaced in its
// flags: an engine module has something to install). kUpdStopped when the
// run is cancelled at the end, else kUpdOk.
[[nodiscard]] UpdError PrepareUpdateLists(const ListBuild& build, LocalPackageScan scan_packages,
                                          const ComponentCatalogueMerge& merge);

// The mirror's lists for one category of the catalogue:
// its plain sections and, unless the mirror settings take only those, its
// continuous and reverse sections and the sections the settings name.
// Returns the number of entries added.
int64_t PrepareMirrorLists(const ListBuild& build, const Catalogue& catalogue, uint32_t category);

// The offline package download's lists: the engine modules the catalogue
// offers to groups on the given platforms, the local packages and the
// catalogue's packages for them.
void PrepareNupLists(const ListBuild& build, LocalPackageScan scan_packages,
                     const CGroupList& groups, std::span<const uint32_t> platform_ids);
