#include "updater/offline/nup_selection.h"

#include <algorithm>
#include <string_view>

#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"
#include "platform/util/update_errors.h"
#include "updater/engine/lists/update_groups.h"
#include "updater/engine/package/package_scan.h"

namespace {

constexpr FolderScan kHeaderScan{.pattern = "*.nup",
                                 .flagsToSet = kComponentPresent | kComponentHasBuild,
                                 .onlyEngine = true,
                                 .skipDuplicates = false,
                                 .skipSignature = true};

void FreeStrings(UPD_NUP_INFO& info) {
  for (HOST_STRING* string : {&info.moduleName, &info.version, &info.packagePath, &info.fileName}) {
    HostStringFree(string);
  }
}

bool Append(HOST_STRING* string, std::string_view text) {
  HostStringInit(string, &DefaultResultAllocator);
  return HostStringAppend(string, text.size(), text.data());
}

bool AppendRecord(HOST_ARRAY* packages, const _COMPONENT_INFO& entry) {
  UPD_NUP_INFO info{};
  info.cbSize = sizeof info;
  info.build = static_cast<uint32_t>(entry.build);
  info.baseBuild = ValueOrAbsent(entry.base);
  info.platformId = entry.platform;
  const bool filled =
      Append(&info.moduleName, entry.module) && Append(&info.version, entry.version) &&
      Append(&info.packagePath, PackageLocation(entry)) && Append(&info.fileName, entry.filename);
  if (filled && HostArrayPushBack(packages, info)) return true;
  FreeStrings(info);
  return false;
}

}  // namespace

UpdError SelectNupsForDownload(CListBase& list, const char* update_folder, const CGroupList& groups,
                               std::span<const uint32_t> platform_ids, HOST_ARRAY* packages) {
  static_cast<void>(ScanFolderToList(update_folder, &list, list.GetSize(), kHeaderScan));
  for (_COMPONENT_INFO& entry : list) {
    const bool wanted = std::find(platform_ids.begin(), platform_ids.end(), entry.platform) !=
                        platform_ids.end();
    if (!wanted || !IsInGroupList(groups, entry.group)) {
      MarkDropped(entry);
    } else if (!AppendRecord(packages, entry)) {
      return kUpdOutOfMemory;
    }
  }
  return kUpdOk;
}
