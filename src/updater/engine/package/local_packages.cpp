#include "updater/engine/package/local_packages.h"

#include <string>

#include "platform/util/path_helpers.h"
#include "updater/engine/package/package_scan.h"

namespace {

constexpr uint32_t kLocalPackageFlags = kComponentHasBuild | kComponentPresent;
constexpr char kPackagePattern[] = "*.nup";

uint32_t ScanInto(CListBase& list, const std::string& folder, const FolderScan& scan) {
  return ScanFolderToList(folder.c_str(), &list, list.GetSize(), scan);
}

}  // namespace

uint32_t ScanNupFolders(CListBase& list, const char* update_folder) {
  const std::string root = update_folder;
  FolderScan scan{.pattern = kPackagePattern,
                  .flagsToSet = kLocalPackageFlags,
                  .onlyEngine = true,
                  .skipDuplicates = false,
                  .skipSignature = true};
  uint32_t count = ScanInto(list, root, scan);
  count += ScanInto(list, PathJoinString(root, kContinuousFolder), scan);
  FolderScan preliminary = scan;
  preliminary.flagsToSet = kComponentPreliminaryFolder;
  count += ScanInto(list, PathJoinString(root, kPreliminaryFolder), preliminary);
  count += ScanInto(list, PathJoinString(root, kReverseFolder), scan);
  return count;
}

uint32_t ScanMirrorNupFolders(CListBase& list, const char* update_folder) {
  const std::string root = update_folder;
  const FolderScan scan{.pattern = kPackagePattern,
                        .flagsToSet = kLocalPackageFlags,
                        .onlyEngine = false,
                        .skipDuplicates = true,
                        .skipSignature = true};
  uint32_t count = 0;
  for (const char* sub :
       {"", kContinuousFolder, kReverseFolder, kTempMirrorFolder, kTempMirrorPcuFolder}) {
    count += ScanInto(list, PathJoinString(root, sub), scan);
  }
  return count;
}
