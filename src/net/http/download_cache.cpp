#include "net/http/download_cache.h"

#include <cstdlib>

#include "platform/os/os_file.h"
#include "platform/os/os_time.h"
#include "platform/store/profile_section.h"
#include "platform/util/file_helpers.h"
#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"

namespace {

constexpr std::string_view kFileKey = "file";
constexpr std::string_view kDateKey = "date";

std::string WithSlash(std::string_view folder) {
  std::string text(folder);
  if (!text.empty() && text.back() != '/') text += '/';
  return text;
}

// The name format of a new copy: the folder's own '%' are escaped so that
// the unique-name printf sees only the pattern's conversion.
std::string CopyNameFormat(const std::string& folder) {
  std::string format;
  for (const char c : folder) {
    format += c;
    if (c == '%') format += '%';
  }
  return format + CDownloadCache::kFilePattern;
}

// Dates compare in 32 bits, as they always have, so that the modular
// difference stays right across the wrap of a 32-bit clock.
bool IsStale(int32_t date, int64_t now) {
  const auto difference =
      static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(date));
  return std::llabs(difference) > CDownloadCache::kMaxAgeSeconds;
}

}  // namespace

CDownloadCache::CDownloadCache(std::string_view folder)
    : folder_(folder), index_path_(WithSlash(folder) + kIndexName) {
  index_.Load(index_path_.c_str());
}

UpdError CDownloadCache::Add(std::string_view key, const char* source_path, uint64_t* size) {
  if (index_.FindSection(key) != nullptr) {
    DeleteEntry(key);
    (void)index_.Save(nullptr);
  }
  OS_FILE* source = OsFileOpen(source_path, nullptr, kOsAccessRead, kOsOpenExisting);
  if (source == nullptr) return kUpdMissing;
  const int64_t source_size = OsFileGetSize(source);
  (void)OsFileClose(source);
  if (size != nullptr) *size = source_size < 0 ? 0 : static_cast<uint64_t>(source_size);
  if (source_size < 1) return kUpdEmptyFile;

  char copy_path[kPathSize];
  if (!CreateUniqueFile(CopyNameFormat(WithSlash(folder_)).c_str(), copy_path, sizeof copy_path)) {
    return kUpdNoUniqueName;
  }
  const auto moved = static_cast<UpdError>(
      FileMove(source_path, copy_path,
               kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveCreateFolder |
                   kFileMoveAfterRenameHook));
  if (moved != kUpdOk) {
    // The empty placeholder of the unique name would otherwise stay behind
    // with no entry that owns it.
    (void)DeleteFileChecked(copy_path, 0);
    return moved;
  }
  return Store(key, copy_path);
}

UpdError CDownloadCache::Store(std::string_view key, const char* path) {
  CProfileSection* section = index_.GetOrAddSection(key);
  if (section == nullptr || !section->SetValue(kFileKey, path) ||
      !section->SetInt(kDateKey, OsTime())) {
    if (section != nullptr) index_.RemoveSection(key);
    (void)DeleteFileChecked(path, 0);
    return kUpdOutOfMemory;
  }
  return index_.Save(nullptr) ? kUpdOk : kUpdOpenFailed;
}

UpdError CDownloadCache::Lookup(std::string_view key, char* buffer, size_t size) const {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  const CProfileSection* section = index_.FindSection(key);
  const char* file = section != nullptr ? section->GetValue(kFileKey, "") : "";
  if (*file == '\0') return kUpdReadFailed;
  if (buffer != nullptr) SafeStrCopy(buffer, size, file);
  return kUpdOk;
}

UpdError CDownloadCache::Remove(std::string_view key) {
  DeleteEntry(key);
  (void)index_.Save(nullptr);
  return kUpdOk;
}

UpdError CDownloadCache::Purge() {
  const int64_t now = OsTime();
  // From the last section to the first, so removals do not shift the
  // sections still to be visited.
  for (uint32_t i = index_.GetSectionCount(); i-- > 0;) {
    const CProfileSection* section = index_.GetSectionAt(i);
    if (section == nullptr || !IsStale(section->GetInt(kDateKey, 0), now)) continue;
    const std::string key = section->GetName();
    (void)Remove(key);
  }
  return kUpdOk;
}

void CDownloadCache::DeleteEntry(std::string_view key) {
  const CProfileSection* section = index_.FindSection(key);
  if (section == nullptr) return;
  const char* file = section->GetValue(kFileKey, "");
  if (*file != '\0') (void)DeleteFileChecked(file, 0);
  index_.RemoveSection(key);
}
