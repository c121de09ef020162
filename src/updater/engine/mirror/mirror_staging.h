#pragma once

#include <cstdint>

#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/lists/update_lists.h"

class CDownloadSession;

// The mirror's downloads: the entries its comparison marked for fetching
// (IsToFetch) go into the update folder's staging folders, "tempMirror" for
// engine, "dll" and "dylib" packages and "tempMirrorPCU" for application
// packages, each under a new random name kept in the entry's mirror path.
struct MirrorStaging {
  // last_catalogue: the run's last catalogue, whose sections may carry a
  // package inline.
  MirrorStaging(const HostBinding& host, CDownloadSession& session, CUpdateLists& lists,
                const char* last_catalogue);

  const HostBinding* host;
  const char* lastCatalogue;
  // Packages whose download failed.
  uint32_t failed = 0;
  CDownloadSession* session;
  CUpdateList* updateList;
  CContinuousList* continuousList;
  CReverseList* reverseList;
  CComponentList* componentList;
};

// The selected sizes of the four lists.
[[nodiscard]] uint64_t MirrorStagingTotalSize(const MirrorStaging& staging);

// The update, continuous, reverse and component lists in that order; the
// first failure that ends a list ends the sequence.
[[nodiscard]] UpdError StageAllLists(MirrorStaging& staging);

// Downloads the list's entries to fetch. A failed download counts, marks its
// entry kComponentDownloadFailed and deletes its file; a refusal by the server (kUpdAccessDenied)
// goes on with the next entry, any other failure is reported to the mirror callback and ends the
// list.
[[nodiscard]] UpdError StagePackages(MirrorStaging& staging, CListBase& list, const char* key_word);

// The mirror's download step: the total and the large-download question as
// for a module update, then the staging of its lists. count receives the
// number of packages whose download failed.
[[nodiscard]] UpdError DownloadMirrorPackages(MirrorStaging& staging, uint32_t* count);
