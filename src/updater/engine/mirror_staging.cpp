#include "updater/engine/mirror_staging.h"

#include <string>

#include "platform/util/channel_names.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_bridge.h"
#include "platform/util/strings.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/engine/download_session.h"
#include "updater/engine/local_packages.h"
#include "updater/engine/mirror_markers.h"
#include "updater/engine/package_download.h"
#include "updater/engine/update_package.h"

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

MirrorStaging::MirrorStaging(UPDATER_CONTEXT& context)
    : context(&context),
      session(context.session.get()),
      updateList(&context.lists.updateList),
      continuousList(&context.lists.continuousList),
      reverseList(&context.lists.reverseList),
      componentList(&context.lists.componentList) {}

uint64_t MirrorStagingTotalSize(const MirrorStaging& staging) {
  uint64_t total = staging.updateList->GetSelectedSize(0);
  total = staging.continuousList->GetSelectedSize(total);
  total = staging.reverseList->GetSelectedSize(total);
  return staging.componentList->GetSelectedSize(total);
}

UPD_ERROR StagePackages(MirrorStaging& staging, CListBase& list, const char* key_word) {
  UPDATER_CONTEXT& context = *staging.context;
  const UPDATER_SETTINGS* settings = context.settings;
  for (;;) {
    const ListIndex index = list.FindFirstPending(true);
    if (index == kNoEntry) return kUpdOk;
    _COMPONENT_INFO& entry = list[index];
    entry.flags |= kComponentPresent;
    const std::string pattern = StagingPattern(context.updateFolder, entry.category);
    char target[UPD_PATH_SIZE] = {};
    if (!CreateUniqueFile(pattern.c_str(), target, sizeof target)) {
      entry.flags |= kComponentDownloadFailed;
      return kUpdNoUniqueName;
    }
    entry.mirrorPath = target;
    const std::string key = PackageCacheKey(key_word, entry);
    FetchFileArgs fetch;
    fetch.url = entry.file.c_str();
    fetch.target = target;
    fetch.settings = settings;
    fetch.verPath = context.currentLastVerPath;
    fetch.localFolder = context.updateFolder;
    fetch.cacheKey = key.c_str();
    fetch.channelName = GetChannelName(settings);
    fetch.sizeBound = PackageBound(entry);
    const UPD_ERROR result = staging.session->FetchFile(fetch);
    if (result == kUpdOk) {
      if (entry.category == kCategoryComponent) AnnounceStagedPcu(settings, entry);
      continue;
    }
    ++staging.failed;
    entry.flags |= kComponentDownloadFailed;
    (void)DeleteFileChecked(target, 0);
    if (result == kUpdAccessDenied) continue;
    if (settings != nullptr) NotifyMirrorError(settings->mirrorSettings, result);
    return result;
  }
}

UPD_ERROR StageAllLists(MirrorStaging& staging) {
  const struct {
    CListBase* list;
    const char* key_word;
  } lists[] = {{staging.updateList, "level"},
               {staging.continuousList, kContinuousFolder},
               {staging.reverseList, kReverseFolder},
               {staging.componentList, kTempMirrorPcuFolder}};
  for (const auto& each : lists) {
    const UPD_ERROR result = StagePackages(staging, *each.list, each.key_word);
    if (result != kUpdOk) return result;
  }
  return kUpdOk;
}
