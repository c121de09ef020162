#include "repository/client/eula_manager.h"

#include "platform/os/os_folder.h"
#include "platform/os/os_temp.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_records.h"
#include "platform/util/path_helpers.h"
#include "platform/util/update_errors.h"
#include "repository/client/eula_documents.h"
#include "repository/client/repository_client.h"
#include "repository/client/repository_host_records.h"

namespace {

constexpr char kTempPrefix[] = "EUL";
constexpr char kBackupSuffix[] = ".old";

constexpr uint32_t kBackupMoveFlags = kFileMoveOverwrite | kFileMoveCopyFallback;
constexpr uint32_t kPlaceMoveFlags =
    kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveFlushTarget;
constexpr uint32_t kRestoreMoveFlags = kFileMoveOverwrite | kFileMoveCopyFallback |
                                       kFileMoveFlushTarget;

bool NeedsRefresh(CRepositoryClient& client, const EulaFileRecord& file,
                  const AppUpdateRecord& record) {
  if (file.format == 0 || file.target.length == 0) return false;
  return !client.IsEulaApplicable(file, record);
}

// A temporary file in the target's folder, so that placing it is a rename.
bool MakeTemporaryFile(const std::string& target, std::string& out) {
  std::string folder = PathParent(target);
  char path[kPathSize] = {};
  if (OsGetTempFileName(kTempPrefix, path, sizeof path, folder.c_str()) != 0 || path[0] == 0) {
    if (OsCreateFolderTree(folder.c_str()) != 0) return false;
    if (OsGetTempFileName(kTempPrefix, path, sizeof path, folder.c_str()) != 0 || path[0] == 0) {
      return false;
    }
  }
  out = path;
  return true;
}

// A folder at the target is no agreement file: it is neither moved aside
// nor replaced.
bool HasFileAt(const std::string& path) {
  return FileExists(path.c_str()) && !FolderExists(path.c_str());
}

}  // namespace

UpdError EulaManager::Execute(CRepositoryClient& client, const HOST_ARRAY* agreements,
                              const AppUpdateRecord& record) {
  std::vector<EulaFileEntry> entries;
  std::vector<uint32_t> formats;
  for (uint64_t i = 0; agreements != nullptr && i < agreements->count; ++i) {
    const auto& file = *HostArrayAt<EulaFileRecord>(agreements, i);
    if (!NeedsRefresh(client, file, record)) continue;
    EulaFileEntry entry;
    entry.target = HostStringView(&file.target);
    entry.backup = entry.target + kBackupSuffix;
    if (!MakeTemporaryFile(entry.target, entry.temporary)) {
      DeleteTemporaryFiles(entries);
      return kUpdTempFileFailed;
    }
    entries.push_back(std::move(entry));
    formats.push_back(file.format);
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    UpdError result = DownloadDocument(client, record, formats[i], entries[i].temporary);
    if (result != kUpdOk) {
      DeleteTemporaryFiles(entries);
      return result;
    }
  }
  UpdError result = Commit(entries);
  DeleteTemporaryFiles(entries);
  return result;
}

UpdError EulaManager::DownloadDocument(CRepositoryClient& client, const AppUpdateRecord& record,
                                       uint32_t format, const std::string& temporary) {
  if (!HasAgreementReference(record)) return kUpdInvalidRequest;
  const Result<std::string> manifest = client.DownloadManifest(record);
  if (!manifest) return manifest.code();
  std::optional<ManifestDocument> document =
      FindKeptDocument(*manifest, static_cast<int32_t>(format), client.ProductLanguage());
  if (!document) return kUpdInvalidRequest;
  std::string cache_key = document->hash.empty() ? "" : "eula-" + document->hash;
  std::optional<std::string> url = client.GetDocumentUrl(record.id, record.eula->path,
                                                         document->path);
  if (!url) return kUpdUnsupportedScheme;
  const UpdError result =
      client.FetchRepositoryFile(*url, temporary, cache_key, CRepositoryClient::kDocumentBound);
  return result == kUpdServiceUnavailable ? kUpdNothingToDo : result;
}

UpdError EulaManager::Commit(std::vector<EulaFileEntry>& entries, MoveFunction move) {
  if (entries.empty()) return kUpdNothingToDo;
  UpdError failure = kUpdOk;
  for (EulaFileEntry& entry : entries) {
    if (HasFileAt(entry.target)) {
      failure =
          static_cast<UpdError>(move(entry.target.c_str(), entry.backup.c_str(), kBackupMoveFlags));
      if (failure != kUpdOk) break;
      entry.flags |= kBackedUp;
    }
    failure =
        static_cast<UpdError>(move(entry.temporary.c_str(), entry.target.c_str(), kPlaceMoveFlags));
    if (failure != kUpdOk) break;
    entry.flags |= kPlaced;
  }
  if (failure != kUpdOk) {
    RollBack(entries, move);
    return failure;
  }
  for (EulaFileEntry& entry : entries) {
    entry.temporary.clear();
    if ((entry.flags & kBackedUp) != 0) (void)DeleteFileChecked(entry.backup.c_str(), 0);
  }
  return kUpdOk;
}

void EulaManager::RollBack(std::vector<EulaFileEntry>& entries, MoveFunction move) {
  for (EulaFileEntry& entry : entries) {
    if ((entry.flags & kPlaced) != 0) {
      (void)move(entry.target.c_str(), entry.temporary.c_str(), kFileMoveOverwrite);
    }
    // A restore that fails leaves the backup where it is: it is then the
    // only copy of the old file.
    if ((entry.flags & kBackedUp) != 0) {
      (void)move(entry.backup.c_str(), entry.target.c_str(), kRestoreMoveFlags);
    }
  }
}

void EulaManager::DeleteTemporaryFiles(std::vector<EulaFileEntry>& entries) {
  for (EulaFileEntry& entry : entries) {
    if (!entry.temporary.empty()) (void)DeleteFileChecked(entry.temporary.c_str(), 0);
  }
}
