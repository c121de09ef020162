#pragma once

#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/catalogue/catalogue_run.h"
#include "updater/engine/lists/update_lists.h"

// Merges into the run's lists the catalogues that sections of the update
// list only refer to ("ver" references): each referred catalogue is fetched,
// becomes the run's catalogue (run_catalogue, and the file at the run's
// current path; its URL the server location's base URL), the lists'
// references to it are read from it with file URLs made absolute against its
// folder, and it is appended to the run's last catalogue. A failed fetch
// ends the merge quietly (what was read stays). kUpdOk; kUpdNoUniqueName
// without a download file; kUpdStopped when aborted.
[[nodiscard]] UpdError MergeComponentVerFiles(CatalogueRun& run, CUpdateLists& lists,
                                              Catalogue& run_catalogue);
