#pragma once

#include "updater.h"

// Merges into the run's lists the catalogues that sections of the update
// list only refer to ("ver" references): each referred catalogue is fetched,
// becomes the run's catalogue (currentVerPath), the lists' references to it
// are read from it with file URLs made absolute against its folder, and it
// is appended to the last catalogue (currentLastVerPath). A failed fetch
// ends the merge quietly (what was read stays). 0; 0x1002 without a unique
// download file; 0x2107 when aborted.
[[nodiscard]] UPD_ERROR MergeComponentVerFiles(UPDATER_CONTEXT* context);
