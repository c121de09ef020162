#pragma once

#include <cstdint>
#include <span>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/lists/component_list.h"
#include "updater/engine/lists/update_lists.h"

// Lists the engine packages of update_folder (headers only) into list. A
// package of a wanted platform whose "group" names one of groups is
// described by an UPD_NUP_INFO appended to packages (strings with the
// library's result allocator); every other gets 0x400, for deletion.
// kUpdOutOfMemory when a string or the array cannot grow, else 0.
[[nodiscard]] UpdError SelectNupsForDownload(CListBase& list, const char* update_folder,
                                             const CGroupList& groups,
                                             std::span<const uint32_t> platform_ids,
                                             HOST_ARRAY* packages);
