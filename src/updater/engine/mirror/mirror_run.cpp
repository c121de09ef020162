// The mirror pass: placing the fetched packages and writing the catalogues.

#include <string>

#include "platform/os/os_file_ops.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_bridge.h"
#include "platform/util/text_helpers.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/update_folders.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/mirror/mirror_catalogue.h"
#include "updater/engine/mirror/mirror_markers.h"

namespace {

constexpr uint32_t kPackageMode = 0644;
// FileMove into the mirror: overwrite, copy when a rename fails, create the
// folder, flush.
constexpr uint32_t kPlaceMoveFlags = kFileMoveOverwrite | kFileMoveCopyFallback |
                                     kFileMoveCreateFolder | kFileMoveFlushTarget |
                                     kFileMoveAfterRenameHook;

bool IsToPlace(const _COMPONENT_INFO& entry) {
  return IsToFetch(entry) && !IsDropped(entry) && !HasDownloadFailed(entry);
}

const std::string& SourceOf(const _COMPONENT_INFO& entry) {
  return entry.mirrorPath.empty() ? PackageLocation(entry) : entry.mirrorPath;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

const MIRROR_SETTINGS* MirrorOf(const MirrorPass& pass) {
  return pass.host.settings != nullptr ? pass.host.settings->mirrorSettings : nullptr;
}

}  // namespace

UpdError CMirror::Publish(const MirrorPass& pass, const _COMPONENT_INFO& entry,
                          const std::string& pattern, bool move) {
  const std::string& source = SourceOf(entry);
  char target[UPD_PATH_SIZE] = {};
  if (!CreateUniqueFile(pattern.c_str(), target, sizeof target)) return kUpdNoUniqueName;
  UPD_ERROR result = kUpdOk;
  if (move) {
    result = FileMove(source.c_str(), target, kPlaceMoveFlags);
  } else if (!CopyFileCreatingFolder(source.c_str(), target, true, true)) {
    result = MapDiskFullError(kUpdCopyFailed);
  }
  if (result != kUpdOk) {
    (void)DeleteFileChecked(target, 0);
    return static_cast<UpdError>(result);
  }
  (void)OsFileSetMode(target, kPackageMode);
  _COMPONENT_INFO copy = entry;
  copy.localFile = target;
  list_.Add(copy);
  NotifyHostFile(0, pass.host.settings, 2, 1, "");
  return kUpdOk;
}

UpdError CMirror::PlacePackages(const MirrorPass& pass, CListBase& list) {
  for (_COMPONENT_INFO& entry : list) {
    if (IsToPlace(entry) && !IsPublishablePackage(SourceOf(entry).c_str())) {
      MarkDownloadFailed(entry);
    }
    if (IsToPlace(entry)) {
      const char* name = "zel%08X.nup";
      const std::string* folder = &rootFolder_;
      if (entry.category == kCategoryDll) {
        name = "zel%08X.dll.nup";
        folder = &dllFolder_;
      } else if (entry.category == kCategoryDylib) {
        name = "zel%08X.dylib.nup";
        folder = &dylibFolder_;
      }
      const bool staged = StrEndsWithNoCase(FolderOf(SourceOf(entry)).c_str(), kTempMirrorFolder);
      const UpdError result = Publish(pass, entry, *folder + name, staged);
      if (result != kUpdOk) return result;
    } else if (IsToFetch(entry)) {
      KeepReplacedCopies(entry);
    }
    if (pass.cancellation.IsCancelled()) return kUpdMirrorAborted;
  }
  return kUpdOk;
}

UpdError CMirror::PlacePcuPackages(const MirrorPass& pass, CListBase& component) {
  const MIRROR_SETTINGS* mirror = MirrorOf(pass);
  const bool defer = mirror != nullptr && (mirror->flags & MIRROR_FLAG_DEFER_PCUS) != 0;
  if (!defer && !ArePendingPcusAgreed(component)) NotifyMirrorAgreementPending(mirror);
  for (_COMPONENT_INFO& entry : component) {
    if (entry.category == kCategoryComponent && !defer && IsToFetch(entry)) {
      const std::string& source = SourceOf(entry);
      const std::string marker = MarkerFileName(source);
      const bool placeable = IsToPlace(entry) &&
                             ReadMarkerFile(marker.c_str(), MarkerNameOf(source).c_str(),
                                            nullptr, 0) &&
                             IsPublishablePackage(source.c_str());
      if (placeable) {
        const UpdError result = Publish(pass, entry, rootFolder_ + "zel%08X.nup", true);
        if (result != kUpdOk) return result;
        (void)DeleteFileChecked(marker.c_str(), 0);
      } else {
        KeepReplacedCopies(entry);
      }
    }
    if (pass.cancellation.IsCancelled()) return kUpdMirrorAborted;
  }
  return kUpdOk;
}

bool CMirror::ArePendingPcusAgreed(const CListBase& component) const {
  for (const _COMPONENT_INFO& entry : component) {
    if (entry.category != kCategoryComponent || !IsToPlace(entry)) continue;
    const std::string& source = SourceOf(entry);
    if (!ReadMarkerFile(MarkerFileName(source).c_str(), nullptr, nullptr, 0)) return false;
  }
  return true;
}

UpdError CMirror::WriteCatalogue(const MirrorPass& pass, const std::string& folder, bool wanted,
                                 std::initializer_list<uint32_t> categories) {
  const std::string path = folder + kMirrorCatalogueName;
  bool held = false;
  for (const uint32_t category : categories) held = held || HasCategory(category);
  if (!wanted || !held) return static_cast<UpdError>(DeleteFileChecked(path.c_str(), 0));
  MirrorVerDocument document;
  OpenVerForWrite(document, path);
  for (const uint32_t category : categories) {
    const UpdError result = WriteMirrorSections(document, list_, category);
    if (result != kUpdOk) return result;
  }
  const MIRROR_SETTINGS* mirror = MirrorOf(pass);
  // Without a hash the catalogue is saved without "UP_HASH".
  (void)WriteUpdateHash(document, pass.lastCatalogue, pass.host.settings, mirror);
  (void)MirrorVerHook(document, mirror);
  return SaveVer(document);
}

UpdError CMirror::Run(const MirrorPass& pass, uint32_t progress) {
  NotifyHostStatus(0, pass.host.settings, 2, progress);
  CUpdateLists& lists = pass.lists;
  UpdError result = PlacePackages(pass, lists.updateList);
  if (result == kUpdOk) result = PlacePackages(pass, lists.continuousList);
  if (result == kUpdOk) result = PlacePackages(pass, lists.reverseList);
  if (result == kUpdOk) result = PlacePcuPackages(pass, lists.componentList);
  if (result == kUpdOk) {
    const uint32_t type = MirrorOf(pass)->mirrorType;
    const UPD_ERROR root =
        WriteCatalogue(pass, rootFolder_, type <= 1, {kCategoryEngine, kCategoryComponent});
    const UpdError dll = WriteCatalogue(pass, dllFolder_, type == 0 || type == 2, {kCategoryDll});
    const UPD_ERROR dylib =
        WriteCatalogue(pass, dylibFolder_, type == 0 || type == 3, {kCategoryDylib});
    result = static_cast<UpdError>(root != kUpdOk ? root : dll != kUpdOk ? dll : dylib);
    if (result == kUpdOk) return kUpdOk;
  }
  NotifyMirrorError(MirrorOf(pass), kUpdMirrorPassFailed);
  return result;
}
