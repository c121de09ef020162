#include "updater/engine/package/package_download.h"

#include <cstring>
#include <string>

#include "net/http/fetcher.h"
#include "platform/util/channel_names.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_bridge.h"
#include "platform/util/strings.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/download_bounds.h"
#include "updater/engine/common/update_folders.h"
#include "updater/engine/package/package_scan.h"
#include "updater/engine/package/update_package.h"
#include "updater/engine/session/host_fetch_config.h"

namespace {

// The end of the step on every path: no connection stays open, and the
// older local packages that the new ones replace are deleted.
class DownloadStepEnd {
 public:
  explicit DownloadStepEnd(const PackageDownloadJob& job) : job_(job) {}
  DownloadStepEnd(const DownloadStepEnd&) = delete;
  DownloadStepEnd& operator=(const DownloadStepEnd&) = delete;
  ~DownloadStepEnd() {
    job_.fetcher->CloseConnections();
    DeleteSelectedFiles(*job_.localList, kComponentDropped);
  }

 private:
  const PackageDownloadJob& job_;
};

// Same category, module (ASCII case-insensitive), platform, level and list
// kind: the local package that a new download replaces.
void DropLocalTwins(CLocalList& local, const _COMPONENT_INFO& entry) {
  for (_COMPONENT_INFO& twin : local) {
    if (twin.category == entry.category && HasModule(twin, entry.module, entry.platform) &&
        twin.level == entry.level && twin.listKind == entry.listKind) {
      MarkDropped(twin);
    }
  }
}

}  // namespace

PackageDownloadJob::PackageDownloadJob(const PackageDownload& download)
    : download(&download),
      fetcher(&download.fetcher),
      updateList(&download.lists.updateList),
      continuousList(&download.lists.continuousList),
      preliminaryList(&download.lists.preliminaryList),
      reverseList(&download.lists.reverseList),
      localList(&download.lists.localList) {}

bool HostAcceptsDownload(const UPDATER_SETTINGS* settings, uint64_t total) {
  if (!HasHostCallback(settings)) return true;
  NotifyHostStatus(0, settings, 1, total);
  return ConfirmLargeDownload(settings, total) != 0;
}

uint64_t SelectedPackageSize(const CUpdateLists& lists) {
  uint64_t total = lists.updateList.GetSelectedSize(0);
  total = lists.continuousList.GetSelectedSize(total);
  total = lists.preliminaryList.GetSelectedSize(total);
  return lists.reverseList.GetSelectedSize(total);
}

std::string JoinPackageFolder(const char* folder, const char* name) {
  std::string joined(folder, strnlen(folder, UPD_PATH_SIZE - 1));
  if (!joined.empty() && joined.back() != '/') joined.push_back('/');
  // A cut name would be another file: the folder alone then fails to be
  // created as a file, which is the caller's failure path.
  if (joined.size() + std::strlen(name) + 1 > UPD_PATH_SIZE) return joined;
  return joined + name;
}

TransferBound PackageBound(const _COMPONENT_INFO& entry) {
  const uint64_t size = entry.size ? uint64_t{*entry.size} : kDefaultFileDownloadBytes;
  return {size, kUpdSourceUnreadable};
}

std::string PackageCacheKey(const char* list_name, const _COMPONENT_INFO& entry) {
  char key[kPackageCacheKeySize];
  SafeSnprintf(key, sizeof key, "%s-%u-%s-%u-%u-%u-%ld", list_name, entry.category, entry.module,
               entry.platform, entry.language, ValueOrAbsent(entry.base),
               static_cast<long>(entry.build));
  return key;
}

UpdError DownloadNupPackage(PackageDownloadJob& job, CListBase& list, const char* folder,
                            const char* list_name) {
  const PackageDownload& download = *job.download;
  const UPDATER_SETTINGS* settings = download.host.settings;
  const std::string pattern = JoinPackageFolder(folder, kPackageNameFormat);
  for (;;) {
    const ListIndex index = list.FindFirstPending(false);
    if (index == kNoEntry) return kUpdOk;
    _COMPONENT_INFO& entry = list[index];
    DropLocalTwins(*job.localList, entry);
    MarkPresent(entry);
    const std::string url = entry.url;
    char target[UPD_PATH_SIZE] = {};
    if (!CreateUniqueFile(pattern.c_str(), target, sizeof target)) {
      MarkDownloadFailed(entry);
      return kUpdNoUniqueName;
    }
    entry.localFile = target;
    const std::string key = PackageCacheKey(list_name, entry);
    FetchRequest fetch;
    fetch.url = url.c_str();
    fetch.inlineSource = download.catalogue;
    fetch.localFolder = download.host.updateFolder;
    fetch.cacheKey = key.c_str();
    fetch.sourceFlag = TestSourceFlags(settings, 1) ? 1 : 0;
    fetch.channelName = GetChannelName(settings);
    const UPD_ERROR result =
        job.fetcher->DownloadToFile(FetchConfigOf(settings), fetch, target, PackageBound(entry));
    if (result != kUpdOk) {
      MarkDownloadFailed(entry);
      (void)DeleteFileChecked(target, 0);
      return static_cast<UpdError>(result);
    }
    if (entry.category == kCategoryEngine) ++job.enginePackages;
    download.resultFlags |= kResultPackageDownloaded;
  }
}

UpdError DownloadAllLists(PackageDownloadJob& job) {
  const char* update_folder = job.download->host.updateFolder;
  UpdError result = DownloadNupPackage(job, *job.updateList, update_folder, "level");
  if (result != kUpdOk) return result;
  const struct {
    CListBase* list;
    const char* name;
  } channels[] = {{job.continuousList, kContinuousFolder},
                  {job.preliminaryList, kPreliminaryFolder},
                  {job.reverseList, kReverseFolder}};
  for (const auto& channel : channels) {
    const std::string folder = JoinPackageFolder(update_folder, channel.name);
    result = DownloadNupPackage(job, *channel.list, folder.c_str(), channel.name);
    if (result != kUpdOk) return result;
  }
  return kUpdOk;
}

UpdError DownloadPackages(const PackageDownload& download) {
  PackageDownloadJob job(download);
  const DownloadStepEnd end(job);
  const UPDATER_SETTINGS* settings = download.host.settings;
  if (!HostAcceptsDownload(settings, SelectedPackageSize(download.lists))) return kUpdStopped;
  job.fetcher->BeginStep();
  const UpdError result = DownloadAllLists(job);
  if (result == kUpdOk && HasHostCallback(settings) && GetEnginePackageCount(job) != 0) {
    NotifyHostPackagesDownloaded(settings, download.serverRoot);
  }
  return result;
}
