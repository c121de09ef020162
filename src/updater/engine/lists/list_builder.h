#pragma once

#include <cstdint>
#include <span>

#include "updater.h"
#include "updater/engine/lists/catalogue_merge.h"
#include "updater/engine/lists/installed_modules.h"
#include "updater/engine/lists/update_lists.h"

// The list builder: turns the run's catalogue (context.currentVerPath), the
// installed engine modules and the packages on disk into the context's
// lists, which the package download and the installation work through.
// Package URLs are made from context.serverRoot; references to the
// catalogue are re-read for context.catalogueBaseUrl.

// Settings flags that keep engine modules out of a run.
inline constexpr uint32_t kSettingsNoEngineModules = 0x40 | 0x80;

// Merges into the run's catalogue the catalogues that its sections only
// refer to (MergeComponentVerFiles; a test may put another in). Its result
// does not change the build's.
using ComponentCatalogueMerge = UPD_ERROR (*)(UPDATER_CONTEXT* context);

// Builds every list of a module update run into the context's emptied lists
// and installed (bit 0x4 of its flags: an engine module has something to
// install). 0x2107 when the abort flag is set at the end, else 0.
[[nodiscard]] UPD_ERROR PrepareUpdateLists(CInstalledModules& installed, UPDATER_CONTEXT& context,
                                           ComponentCatalogueMerge merge = MergeComponentVerFiles);

// The mirror's lists for one category of the catalogue at catalogue_path:
// its plain sections and, unless the mirror settings take only those, its
// continuous and reverse sections and the sections the settings name.
// Returns the number of entries added.
int64_t PrepareMirrorLists(UPDATER_CONTEXT& context, const char* catalogue_path, uint32_t category);

// The offline package download's lists: the engine modules the catalogue
// offers to groups on the given platforms, the local packages and the
// catalogue's packages for them.
void PrepareNupLists(CInstalledModules& installed, UPDATER_CONTEXT& context,
                     const CGroupList& groups, std::span<const uint32_t> platform_ids);
