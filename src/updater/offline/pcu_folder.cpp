#include "updater/offline/pcu_folder.h"

#include "updater/engine/common/update_folders.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/package/package_scan.h"

std::string PcuFolder(const char* data_folder) {
  std::string folder = JoinPackageFolder(data_folder, "updfiles");
  folder = JoinPackageFolder(folder.c_str(), kTempMirrorPcuFolder);
  if (folder.back() != '/' && folder.size() + 1 < UPD_PATH_SIZE) folder.push_back('/');
  return folder;
}

void ScanPcuFolder(const char* data_folder, CListBase& list, uint32_t flags,
                   bool skip_duplicates) {
  const FolderScan scan{.pattern = "*.nup",
                        .flagsToSet = flags,
                        .onlyEngine = false,
                        .skipDuplicates = skip_duplicates,
                        .skipSignature = true};
  static_cast<void>(ScanFolderToList(PcuFolder(data_folder).c_str(), &list, 0, scan));
}
