#include "updater/engine/package/package_scan.h"

#include <string>

#include "platform/os/os_file_info.h"
#include "platform/util/file_finder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/text_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/lists/component_reader.h"
#include "updater/engine/package/opened_package.h"

namespace {

constexpr char kHeaderSection[] = "update_info";
constexpr char kRawSuffix[] = ".raw";

// True when code says the package itself is bad, so that it may be deleted,
// as opposed to a failure of this machine (a full temporary folder, memory, a
// file that cannot be read just now), after which the package must stay.
bool IsInvalidPackage(UPD_ERROR code, bool skip_signature) {
  return code == kUpdBadFile || (!skip_signature && code == kUpdSignatureMismatch);
}

bool IsFolder(const OS_FILE_INFO& info) { return (info.attributes & kOsAttrDirectory) != 0; }

}  // namespace

UpdError ReadUpdateInfoSection(const char* package_path, _COMPONENT_INFO* record,
                               bool skip_signature) {
  *record = _COMPONENT_INFO();
  // Without the signature check the header alone is read; with it the whole
  // package is checked but its payload is kept nowhere.
  const PackageRead read = skip_signature ? PackageRead::kHeader : PackageRead::kChecked;
  const Result<OpenedPackage> package = OpenedPackage::Open(package_path, read, skip_signature);
  if (!package) return package.code();
  if (!ReadComponentInfo(package->info().file(), kHeaderSection, record, false)) {
    return kUpdBadFile;
  }
  MarkPresent(*record);
  record->localFile = package_path;
  return kUpdOk;
}

uint32_t ScanFolderToList(const char* folder, CListBase* list, int64_t start_index,
                          const FolderScan& scan) {
  uint32_t stored = 0;
  for (CFileFinder finder(folder, scan.pattern, 0); finder.NotAtEnd(); finder.Next()) {
    if (IsFolder(finder.Info())) continue;
    const std::string path = finder.Path();
    _COMPONENT_INFO record;
    const UpdError rc = ReadUpdateInfoSection(path.c_str(), &record, scan.skipSignature);
    if (rc != kUpdOk) {
      if (IsInvalidPackage(rc, scan.skipSignature)) (void)DeleteFileChecked(path.c_str(), 0);
      continue;
    }
    if (scan.onlyEngine && record.category != kCategoryEngine) continue;
    if (!record.size) record.size = static_cast<uint32_t>(finder.Info().size);
    record.flags |= scan.flagsToSet;
    if (scan.skipDuplicates && list->FindMatching(record) != kNoEntry) continue;
    list->SetAtGrow(start_index++, record);
    ++stored;
  }
  return stored;
}

void DeleteSelectedFiles(const CListBase& records, uint32_t mask) {
  for (const _COMPONENT_INFO& record : records) {
    if ((record.flags & mask) == 0 || record.localFile.empty()) continue;
    (void)DeleteFileChecked(record.localFile.c_str(), 0);
    if (StrEndsWithNoCase(record.localFile.c_str(), kRawSuffix)) {
      const std::string module =
          record.localFile.substr(0, record.localFile.size() - (sizeof kRawSuffix - 1));
      (void)DeleteFileChecked(module.c_str(), 0);
    }
  }
}
