#include "updater/engine/mirror/mirror_pcus.h"

#include <algorithm>
#include <vector>

#include "platform/os/os_file_info.h"
#include "platform/os/os_file_ops.h"
#include "platform/util/file_finder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/folder_cleanup.h"
#include "platform/util/host_bridge.h"
#include "platform/util/host_fields.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/update_folders.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/mirror/mirror_catalogue.h"
#include "updater/engine/mirror/mirror_markers.h"
#include "updater/engine/package/package_scan.h"

namespace {

constexpr uint32_t kPackageMode = 0644;
// Overwrite, copy when a rename fails, create the folder, after-rename hook.
constexpr uint32_t kPcuMoveFlags =
    kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveCreateFolder | kFileMoveAfterRenameHook;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsNoCase(const char* text, const char* part) {
  const std::string_view haystack(text != nullptr ? text : "");
  const std::string_view needle(part);
  if (needle.empty()) return true;
  const auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                              [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
  return at != haystack.end();
}

// Rewrites the root catalogue from what the mirror now holds; its steps run
// whatever the previous one gave.
void RewriteRootCatalogue(const char* last_catalogue, const UPDATER_SETTINGS* settings,
                          const MIRROR_SETTINGS* mirror) {
  CMirror temporary;
  (void)temporary.LoadMirrorContents(mirror, nullptr);
  MirrorVerDocument document;
  OpenVerForWrite(document, temporary.rootFolder() + kMirrorCatalogueName);
  (void)WriteMirrorSections(document, temporary.list(), kCategoryEngine);
  (void)WriteMirrorSections(document, temporary.list(), kCategoryComponent);
  (void)WriteUpdateHash(document, last_catalogue, settings, mirror);
  (void)MirrorVerHook(document, mirror);
  (void)SaveVer(document);
}

}  // namespace

bool ArePcusAgreed(const std::string& pcu_folder, const char* names) {
  CListBase staged;
  FolderScan scan;
  scan.flagsToSet = kComponentHasBuild | kComponentPresent;
  scan.skipDuplicates = true;
  scan.skipSignature = true;
  (void)ScanFolderToList(pcu_folder.c_str(), &staged, 0, scan);
  for (const _COMPONENT_INFO& entry : staged) {
    if (!ContainsNoCase(names, entry.name)) continue;
    const std::string marker = MarkerFileName(entry.localFile);
    if (!ReadMarkerFile(marker.c_str(), MarkerNameOf(entry.localFile).c_str(), nullptr, 0)) {
      return false;
    }
  }
  return true;
}

int32_t MovePcusToMirror(const std::string& pcu_folder, const char* mirror_folder) {
  std::vector<std::string> names;
  for (CFileFinder finder(pcu_folder.c_str(), "*.nup", kOsAttrRegular); finder.NotAtEnd();
       finder.Next()) {
    names.emplace_back(finder.Name());
  }
  const std::string pattern = std::string(mirror_folder) + "/zel%08X.nup";
  int32_t moved = 0;
  for (const std::string& name : names) {
    const std::string source = pcu_folder + name;
    const std::string marker = MarkerFileName(source);
    if (!ReadMarkerFile(marker.c_str(), name.c_str(), nullptr, 0)) continue;
    if (!IsPublishablePackage(source.c_str())) continue;
    char target[UPD_PATH_SIZE] = {};
    if (!CreateUniqueFile(pattern.c_str(), target, sizeof target)) return -2;
    if (FileMove(source.c_str(), target, kPcuMoveFlags) != kUpdOk) {
      (void)DeleteFileChecked(target, 0);
      return -1;
    }
    (void)OsFileSetMode(target, kPackageMode);
    (void)DeleteFileChecked(marker.c_str(), 0);
    ++moved;
  }
  return moved;
}

UpdError CopyPcusToMirror(const char* update_folder, const char* last_catalogue,
                          const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return kUpdNoSettings;
  const MIRROR_SETTINGS* mirror = settings->mirrorSettings;
  if (mirror == nullptr) return kUpdNoMirrorSettings;
  std::string pcu_folder = update_folder;
  if (pcu_folder.size() + sizeof kTempMirrorPcuFolder <= UPD_PATH_SIZE) {
    pcu_folder += kTempMirrorPcuFolder;
  }
  if (pcu_folder.empty() || pcu_folder.back() != '/') pcu_folder += '/';
  UPD_ERROR result = kUpdOk;
  if (!ArePcusAgreed(pcu_folder, mirror->sectionNames)) {
    if (mirror->callback != nullptr) {
      NotifyMirrorAgreementPending(mirror);
      NotifyMirrorError(mirror, kUpdPcuNotAgreed);
    } else {
      result = kUpdPcuNotAgreed;
    }
  }
  const std::string mirror_folder = HostFieldString(mirror->mirrorFolder);
  const int32_t moved = MovePcusToMirror(pcu_folder, mirror_folder.c_str());
  if (moved == -1) return static_cast<UpdError>(MapDiskFullError(kUpdCopyFailed));
  if (moved == -2) return kUpdNoUniqueName;
  if (CountFiles(pcu_folder.c_str(), "*.nup") == 0) (void)DeleteFolder(pcu_folder.c_str(), true);
  if (moved > 0) RewriteRootCatalogue(last_catalogue, settings, mirror);
  return static_cast<UpdError>(result);
}
