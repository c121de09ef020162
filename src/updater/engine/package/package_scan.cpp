#include "updater/engine/package/package_scan.h"

#include <string>

#include "platform/os/os_file_info.h"
#include "platform/store/profile_cache.h"
#include "platform/util/file_finder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/text_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/lists/component_reader.h"
#include "updater/engine/package/update_package.h"

namespace {

constexpr char kHeaderSection[] = "update_info";
constexpr char kRawSuffix[] = ".raw";

// The header's temporary INI file: dropped from the profile cache and
// deleted on every path.
class HeaderFile {
 public:
  HeaderFile() = default;
  HeaderFile(const HeaderFile&) = delete;
  HeaderFile& operator=(const HeaderFile&) = delete;
  ~HeaderFile() {
    if (path_[0] == '\0') return;
    (void)ProfileWriteString(nullptr, nullptr, nullptr, path_);
    (void)DeleteFileChecked(path_, 0);
  }

  char* buffer() { return path_; }
  static constexpr size_t size() { return UPD_PATH_SIZE; }
  const char* path() const { return path_; }

  // A file the profile cache cannot hold says nothing about the package.
  bool Loadable() const {
    ProfileLockGuard lock;
    const CProfileFile* file = ProfileCacheGetFile(path_);
    return file != nullptr && file->IsLoaded();
  }

 private:
  char path_[UPD_PATH_SIZE] = {};
};

// True when code says the package itself is bad, so that it may be deleted,
// as opposed to a failure of this machine (a full temporary folder, memory, a
// file that cannot be read just now), after which the package must stay.
bool IsInvalidPackage(UPD_ERROR code, bool skip_signature) {
  return code == kUpdBadFile || (!skip_signature && code == kUpdSignatureMismatch);
}

bool IsFolder(const OS_FILE_INFO& info) { return (info.attributes & kOsAttrDirectory) != 0; }

}  // namespace

UPD_ERROR ReadUpdateInfoSection(const char* package_path, _COMPONENT_INFO* record,
                                bool skip_signature) {
  *record = _COMPONENT_INFO();
  HeaderFile header;
  // Without the signature check the header alone is read; with it the whole
  // package is checked but its payload is written nowhere.
  const char* payload = skip_signature ? nullptr : kPackageCheckOnly;
  const UPD_ERROR rc = ExtractUpdateInfoPackage(package_path, payload, header.buffer(),
                                                HeaderFile::size(), skip_signature);
  if (rc != kUpdOk) return rc;
  if (!header.Loadable()) return kUpdReadFailed;
  if (!ReadComponentInfo(header.path(), kHeaderSection, record, false)) return kUpdBadFile;
  record->flags |= kComponentPresent;
  record->file = package_path;
  return kUpdOk;
}

uint32_t ScanFolderToList(const char* folder, CListBase* list, int64_t start_index,
                          const FolderScan& scan) {
  uint32_t stored = 0;
  for (CFileFinder finder(folder, scan.pattern, 0); finder.NotAtEnd(); finder.Next()) {
    if (IsFolder(finder.Info())) continue;
    const std::string path = finder.Path();
    _COMPONENT_INFO record;
    const UPD_ERROR rc = ReadUpdateInfoSection(path.c_str(), &record, scan.skipSignature);
    if (rc != kUpdOk) {
      if (IsInvalidPackage(rc, scan.skipSignature)) (void)DeleteFileChecked(path.c_str(), 0);
      continue;
    }
    if (scan.onlyEngine && record.category != kCategoryEngine) continue;
    if (record.size == kComponentAbsent) record.size = static_cast<uint32_t>(finder.Info().size);
    record.flags |= scan.flagsToSet;
    if (scan.skipDuplicates && list->FindMatching(record) != kNoEntry) continue;
    list->SetAtGrow(start_index++, record);
    ++stored;
  }
  return stored;
}

void DeleteSelectedFiles(const CListBase& records, uint32_t mask) {
  for (const _COMPONENT_INFO& record : records) {
    if ((record.flags & mask) == 0 || record.file.empty()) continue;
    (void)DeleteFileChecked(record.file.c_str(), 0);
    if (StrEndsWithNoCase(record.file.c_str(), kRawSuffix)) {
      const std::string module =
          record.file.substr(0, record.file.size() - (sizeof kRawSuffix - 1));
      (void)DeleteFileChecked(module.c_str(), 0);
    }
  }
}
