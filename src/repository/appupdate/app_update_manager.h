#pragma once

#include <string>
#include <vector>

#include "platform/util/update_errors.h"
#include "repository/client/app_update_record.h"
#include "repository/client/repository_client.h"
#include "repository/client/repository_run.h"
#include "updater.h"

// The application-update work of the library's installer of application
// packages. It needs the repository client, so it lives here rather than
// beside the installer; every operation works with the run record its
// export entry unpacked from the context, under the context lock.
class AppUpdateManager {
 public:
  // Appends one APP_UPDATE_INFO per finding to out: the updates of the
  // application (every one offered, or the newest), of the host's products
  // and of its agreements. A failed append makes the answer kUpdOutOfMemory once
  // every record has been tried.
  [[nodiscard]] static UpdError CheckForAppUpdate(const RepositoryRun& run,
                                                  const APP_UPDATE_CHECK_PARAMS& params,
                                                  HOST_ARRAY* out);

  // One run of UpdPerformAppUpdate3 after its entry: query, agreement stop,
  // install or report of the chosen package, product packages, agreement
  // files; fills result and its step list.
  [[nodiscard]] static UpdError PerformAppUpdate(const RepositoryRun& run,
                                                 const APP_UPDATE_PARAMS& params,
                                                 APP_UPDATE_RESULT& result);

  // Fetches the record's package into a new temporary file, checks its
  // SHA-1 and hands it, held open, to the client's run's installer (event
  // 41); 3 without one. The file is deleted once the installer returns, on
  // every path.
  [[nodiscard]] static UpdError InstallPackage(CRepositoryClient& client,
                                               const AppUpdateRecord& record);

  // Fetches the new package of every listed product beside its installed
  // file, checks every one, and only then moves them into place. Nothing is
  // moved when any fetch or check fails; no temporary file is left.
  [[nodiscard]] static UpdError DownloadPackages(CRepositoryClient& client,
                                                 const HOST_ARRAY* productList,
                                                 const std::vector<AppUpdateRecord>& updates);
};
