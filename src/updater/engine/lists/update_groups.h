#pragma once

#include <string_view>

#include "updater.h"
#include "updater/engine/lists/update_lists.h"

// Update groups: the host names the groups it belongs to, a catalogue
// section names the groups it is offered to. Names count by their CRC-32
// alone, so case and blanks are significant.

// Asks the host for its groups (event 19) and adds them to groups; nothing
// without settings or a callback.
void QueryHostGroupList(CGroupList& groups, const UPDATER_SETTINGS* settings);

// Adds the CRC-32 of every comma-separated name of text that groups does
// not hold yet. Empty names are passed over.
void ParseGroupList(CGroupList& groups, std::string_view text);

// True when a comma-separated name of text is in groups; false for an empty
// text.
[[nodiscard]] bool IsInGroupList(const CGroupList& groups, std::string_view text);
