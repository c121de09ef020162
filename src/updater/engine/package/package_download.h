#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http/transfer_bound.h"
#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/common/result_flags.h"
#include "updater/engine/lists/update_lists.h"

class IFetcher;

// The download step of a run: every selected package of the run's lists,
// one file per package, through the run's fetcher (the download session and
// its cache).

// What the package download works with: the call's settings and the update
// folder (where the packages go), the fetcher, the run's lists,
// the run's catalogue (whose sections may carry a package inline), the
// server root (told to the host once engine packages arrived) and the run's
// result flags (kResultPackageDownloaded).
struct PackageDownload {
  const HostBinding& host;
  IFetcher& fetcher;
  CUpdateLists& lists;
  const char* catalogue;
  const char* serverRoot;
  uint32_t& resultFlags;
};

// The cache key of a package is formatted into a buffer of this size (at
// most 127 characters); a longer key is cut, as the session's cache expects.
inline constexpr size_t kPackageCacheKeySize = 128;

// One download step; lives on the caller's stack for one call.
struct PackageDownloadJob {
  explicit PackageDownloadJob(const PackageDownload& download);

  const PackageDownload* download;
  IFetcher* fetcher;
  CUpdateList* updateList;
  CContinuousList* continuousList;
  CPreliminaryList* preliminaryList;
  CReverseList* reverseList;
  CLocalList* localList;
  // Engine packages (category 3) this job downloaded.
  uint64_t enginePackages = 0;
};

// The download step of a module update and of the offline package export:
// event 2 with the total size and the large-download question (event 20),
// the four lists in order, event 32 with the server root once engine
// packages arrived. The HTTP transports are closed and the dropped local
// packages deleted on every path. kUpdStopped when the host declines.
[[nodiscard]] UpdError DownloadPackages(const PackageDownload& download);

// The update, continuous, preliminary and reverse lists in that order; the
// first failure ends the sequence.
[[nodiscard]] UpdError DownloadAllLists(PackageDownloadJob& job);

// Downloads every selected entry of list into folder, each to a new
// "zel%08X.nup" whose path becomes the entry's localFile (its url stays). The
// first failure marks its entry kComponentDownloadFailed, deletes its file and
// ends the list.
[[nodiscard]] UpdError DownloadNupPackage(PackageDownloadJob& job, CListBase& list,
                                          const char* folder, const char* list_name);

[[nodiscard]] inline uint64_t GetEnginePackageCount(const PackageDownloadJob& job) {
  return job.enginePackages;
}

// Announces the total (event 2) and asks before a large download (event
// 20); false when the host declines. Without an event callback, true.
[[nodiscard]] bool HostAcceptsDownload(const UPDATER_SETTINGS* settings, uint64_t total);

// The size announced before a download: the selected sizes of the four lists.
[[nodiscard]] uint64_t SelectedPackageSize(const CUpdateLists& lists);

// folder with '/' ensured, then name unless the whole would not fit in a
// path buffer (the bare folder comes back then). An empty folder gives name.
[[nodiscard]] std::string JoinPackageFolder(const char* folder, const char* name);

// The bound of a package download: the "size" its entry announces (kUpdSourceUnreadable
// past it), or kDefaultFileDownloadBytes when the entry has none.
[[nodiscard]] TransferBound PackageBound(const _COMPONENT_INFO& entry);

// "list-category-module-platform-language-base-build", cut to 127 characters.
[[nodiscard]] std::string PackageCacheKey(const char* list_name, const _COMPONENT_INFO& entry);
