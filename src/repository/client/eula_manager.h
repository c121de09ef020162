#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "repository/client/app_update_record.h"
#include "updater.h"

class CRepositoryClient;

// Keeps the host's installed licence-agreement files current: every file
// that does not cover an update is fetched beside its target, and all of
// them are then swapped in together, the old ones kept as ".old" until the
// last move succeeded.
class EulaManager {
 public:
  enum ExecutionFlags : uint32_t {
    kBackedUp = 1,  // the old target went to its backup
    kPlaced = 2,    // the new file went onto the target
  };

  struct EulaFileEntry {
    std::string temporary;  // empty once the file became the target
    std::string target;
    std::string backup;
    uint32_t flags = 0;
  };

  // Refreshes every agreement file (EulaFileRecord elements of agreements)
  // that the record's agreement does not cover; kUpdNothingToDo when none needed it.
  [[nodiscard]] static UpdError Execute(CRepositoryClient& client, const HOST_ARRAY* agreements,
                                        const AppUpdateRecord& record);
  // Fetches the record's agreement document kept as a file of format into
  // temporary.
  [[nodiscard]] static UpdError DownloadDocument(CRepositoryClient& client,
                                                 const AppUpdateRecord& record, uint32_t format,
                                                 const std::string& temporary);
  // The file move Commit uses (FileMove); tests put a failing one in.
  using MoveFunction = UPD_ERROR (*)(const char* from, const char* to, uint32_t flags);

  // Moves every entry into place, or none: a failed move rolls back what
  // moved and returns its code. A backup whose restore fails stays on disk.
  [[nodiscard]] static UpdError Commit(std::vector<EulaFileEntry>& entries,
                                       MoveFunction move = FileMove);

 private:
  static void DeleteTemporaryFiles(std::vector<EulaFileEntry>& entries);
  static void RollBack(std::vector<EulaFileEntry>& entries, MoveFunction move);
};
