#include "updater/engine/mirror/mirror_staging.h"

#include <string>

#include "platform/util/channel_names.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_bridge.h"
#include "platform/util/strings.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/update_folders.h"
#include "updater/engine/mirror/mirror_markers.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/package/update_package.h"
#include "updater/engine/session/download_session.h"

namespace {

// Name pattern of a staged package of the entry's category.
std::string StagingPattern(const char* update_folder, uint32_t category) {
  const char* folder = kTempMirrorFolder;
  const char* name = kPackageNameFormat;
  switch (category) {
    case kCategoryEngine:
      break;
    case kCategoryDll:
      name = "zel%08X.dll.nup";
      break;
    case kCategoryDylib:
      name = "zel%08X.dylib.nup";
      break;
    default:
      folder = kTempMirrorPcuFolder;
      break;
  }
  return std::string(update_folder) + folder + '/' + name;
}

// Event 1 of the mirror callback.
struct StagedPcuEvent {
  char displayName[128];
  char reserved[4096];
  uint32_t word;
};
static_assert(sizeof(StagedPcuEvent) == 4228);

// A staged application package waits beside its not-agreed marker; with
// deferred placing the host hears of it.
void AnnounceStagedPcu(const UPDATER_SETTINGS* settings, const _COMPONENT_INFO& entry) {
  const std::string marker = MarkerFileName(entry.mirrorPath);
  (void)WriteMarkerFile(marker.c_str(), MarkerNameOf(entry.mirrorPath).c_str(), false);
  const MIRROR_SETTINGS* mirror = settings != nullptr ? settings->mirrorSettings : nullptr;
  if (mirror == nullptr || mirror->callback == nullptr) return;
  if ((mirror->flags & MIRROR_FLAG_DEFER_PCUS) == 0) return;
  StagedPcuEvent event{};
  SafeStrCopy(event.displayName, sizeof event.displayName, entry.displayName);
  mirror->callback(MIRROR_EVENT_PCU_STAGED, &event, mirror->callbackContext);
}

}  // namespace

MirrorStaging::MirrorStaging(const HostBinding& host, CDownloadSession& session,
                             CUpdateLists& lists, const char* last_catalogue)
    : host(&host),
      lastCatalogue(last_catalogue),
      session(&session),
      updateList(&lists.updateList),
      continuousList(&lists.continuousList),
      reverseList(&lists.reverseList),
      componentList(&lists.componentList) {}

uint64_t MirrorStagingTotalSize(const MirrorStaging& staging) {
  uint64_t total = staging.updateList->GetSelectedSize(0);
  total = staging.continuousList->GetSelectedSize(total);
  total = staging.reverseList->GetSelectedSize(total);
  return staging.componentList->GetSelectedSize(total);
}

UpdError StagePackages(MirrorStaging& staging, CListBase& list, const char* key_word) {
  const HostBinding& host = *staging.host;
  const UPDATER_SETTINGS* settings = host.settings;
  for (;;) {
    const ListIndex index = list.FindFirstPending(true);
    if (index == kNoEntry) return kUpdOk;
    _COMPONENT_INFO& entry = list[index];
    MarkPresent(entry);
    const std::string pattern = StagingPattern(host.updateFolder, entry.category);
    char target[UPD_PATH_SIZE] = {};
    if (!CreateUniqueFile(pattern.c_str(), target, sizeof target)) {
      MarkDownloadFailed(entry);
      return kUpdNoUniqueName;
    }
    entry.mirrorPath = target;
    const std::string key = PackageCacheKey(key_word, entry);
    FetchFileArgs fetch;
    fetch.url = entry.url.c_str();
    fetch.target = target;
    fetch.settings = settings;
    fetch.verPath = staging.lastCatalogue;
    fetch.localFolder = host.updateFolder;
    fetch.cacheKey = key.c_str();
    fetch.channelName = GetChannelName(settings);
    fetch.sizeBound = PackageBound(entry);
    const UPD_ERROR result = staging.session->FetchFile(fetch);
    if (result == kUpdOk) {
      if (entry.category == kCategoryComponent) AnnounceStagedPcu(settings, entry);
      continue;
    }
    ++staging.failed;
    MarkDownloadFailed(entry);
    (void)DeleteFileChecked(target, 0);
    if (result == kUpdAccessDenied) continue;
    if (settings != nullptr) NotifyMirrorError(settings->mirrorSettings, result);
    return static_cast<UpdError>(result);
  }
}

UpdError StageAllLists(MirrorStaging& staging) {
  const struct {
    CListBase* list;
    const char* key_word;
  } lists[] = {{staging.updateList, "level"},
               {staging.continuousList, kContinuousFolder},
               {staging.reverseList, kReverseFolder},
               {staging.componentList, kTempMirrorPcuFolder}};
  for (const auto& each : lists) {
    const UpdError result = StagePackages(staging, *each.list, each.key_word);
    if (result != kUpdOk) return result;
  }
  return kUpdOk;
}

UpdError DownloadMirrorPackages(MirrorStaging& staging, uint32_t* count) {
  CDownloadSession& session = *staging.session;
  if (!HostAcceptsDownload(staging.host->settings, MirrorStagingTotalSize(staging))) {
    session.sessionWord = 0;
    session.CloseHttpTransports();
    *count = 0;
    return kUpdStopped;
  }
  session.sessionWord = 0;
  const UpdError result = StageAllLists(staging);
  session.CloseHttpTransports();
  *count = staging.failed;
  return result;
}
