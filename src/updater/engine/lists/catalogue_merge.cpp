#include "updater/engine/lists/catalogue_merge.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/os/os_file_ops.h"
#include "platform/store/profile_cache.h"
#include "platform/util/file_helpers.h"
#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/catalogue_transfer.h"

namespace {

// The download file of the merge, deleted on every way out.
class UniqueDownloadFile {
 public:
  explicit UniqueDownloadFile(const char* update_folder) {
    const std::string pattern = std::string(update_folder) + "upd%08X.ver";
    created_ = CreateUniqueFile(pattern.c_str(), path_, sizeof path_);
  }
  ~UniqueDownloadFile() {
    if (created_) static_cast<void>(DeleteFileChecked(path_, 0));
  }
  UniqueDownloadFile(const UniqueDownloadFile&) = delete;
  UniqueDownloadFile& operator=(const UniqueDownloadFile&) = delete;

  bool created() const { return created_; }
  const char* path() const { return path_; }

 private:
  char path_[kPathSize] = {};
  bool created_ = false;
};

// The folder of a catalogue URL: '\' turned into '/', cut after the last '/'.
std::string FolderOf(std::string url) {
  std::replace(url.begin(), url.end(), '\\', '/');
  const size_t slash = url.rfind('/');
  return slash == std::string::npos ? "" : url.substr(0, slash + 1);
}

// The downloaded catalogue becomes the run's catalogue file; false when it
// cannot be put in place.
bool TakeAsRunCatalogue(const CataloguePaths& catalogues, const char* downloaded) {
  // The package download reads inline sections of the run's catalogue
  // through the profile cache: it must not see the one replaced.
  ProfileCacheRemoveFile(catalogues.current);
  return FileCopy(downloaded, catalogues.current, kFileCopyOverwrite) == kUpdOk;
}

void ReadReferredSections(const CatalogueRun& run, const Catalogue& referred, CUpdateLists& lists,
                          const std::string& folder) {
  const std::array<CListBase*, 4> served = {&lists.updateList, &lists.continuousList,
                                            &lists.preliminaryList, &lists.reverseList};
  for (CListBase* list : served) {
    list->ReloadReferences(referred, run.server.catalogueBaseUrl);
    list->ResolvePaths(folder.c_str());
  }
}

void AppendToLastCatalogue(const CataloguePaths& catalogues) {
  static_cast<void>(
      OsCopyFileEx(catalogues.current, nullptr, catalogues.currentLast, nullptr, kOsCopyAppend));
  // The host's component list reads the last catalogue through the cache.
  ProfileCacheRemoveFile(catalogues.currentLast);
}

}  // namespace

UpdError MergeComponentVerFiles(CatalogueRun& run, CUpdateLists& lists, Catalogue& run_catalogue) {
  const UniqueDownloadFile download(run.host.updateFolder);
  if (!download.created()) return kUpdNoUniqueName;
  const CatalogueRequest request = MakeCatalogueRequest(run.host.settings, true);
  CUpdateList& updates = lists.updateList;
  for (ListIndex i = 0; i < updates.GetSize(); ++i) {
    if ((updates[i].flags & kComponentReference) == 0) continue;
    const std::string url = updates[i].url;
    SafeStrCopy(run.server.catalogueBaseUrl, sizeof run.server.catalogueBaseUrl, url.c_str());
    const UPD_ERROR result =
        DownloadCatalogueToFile(run, request, url, download.path(), false, nullptr);
    if (result == kUpdStopped) return kUpdStopped;
    if (result != kUpdOk || !TakeAsRunCatalogue(run.catalogues, download.path())) break;
    run_catalogue = Catalogue::FromFile(download.path(), CatalogueTrust::kUnchecked);
    ReadReferredSections(run, run_catalogue, lists, FolderOf(url));
    AppendToLastCatalogue(run.catalogues);
  }
  return kUpdOk;
}
