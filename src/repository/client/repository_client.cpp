#include "repository/client/repository_client.h"

#include <memory>

#include "platform/os/os_file.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_temp.h"
#include "platform/util/channel_names.h"
#include "platform/util/file_helpers.h"
#include "platform/util/hex_digests.h"
#include "platform/util/host_bridge.h"
#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "platform/util/url_helpers.h"
#include "repository/client/eula_documents.h"
#include "repository/client/repository_urls.h"
#include "updater/engine/catalogue/signed_buffer.h"
#include "updater/engine/session/download_session.h"

namespace {

constexpr char kMetadataFile[] = "metadata3";
constexpr char kManifestFile[] = "manifest.erm";
constexpr char kMetadataPrefix[] = "REP";
constexpr char kManifestPrefix[] = "ERM";
constexpr char kPackageKeyPrefix[] = "application-";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// Progress events carry this word for repository downloads.
constexpr uint32_t kCallerWord = 1;
constexpr uint32_t kExtraFlag = 1;
// The new copy replaces the kept one; its folder is made when missing.
constexpr uint32_t kLocalCopyMoveFlags =
    kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveCreateFolder | kFileMoveAfterRenameHook;

struct FileCloser {
  void operator()(OS_FILE* file) const { (void)OsFileClose(file); }
};

// Sets the session's listing bit for the life of the object.
class ListingScope {
 public:
  explicit ListingScope(CDownloadSession& session) : session_(session) {
    session_.sessionWord |= CDownloadSession::kListingBit;
  }
  ~ListingScope() { session_.sessionWord &= ~CDownloadSession::kListingBit; }
  ListingScope(const ListingScope&) = delete;
  ListingScope& operator=(const ListingScope&) = delete;

 private:
  CDownloadSession& session_;
};

// The whole file, bounded by CRepositoryClient::kMaxDocumentBytes.
UpdError ReadDocumentFile(const std::string& path, std::string& out) {
  std::unique_ptr<OS_FILE, FileCloser> file(
      OsFileOpen(path.c_str(), nullptr, kOsAccessRead, kOsOpenExisting));
  if (!file) return kUpdOpenFailed;
  int64_t size = OsFileGetSize(file.get());
  if (size < 0) return kUpdReadFailed;
  if (static_cast<uint64_t>(size) > CRepositoryClient::kMaxDocumentBytes) return kUpdBadFile;
  out.resize(static_cast<size_t>(size));
  if (size > 0 && OsFileRead(file.get(), out.data(), out.size()) != size) return kUpdReadFailed;
  return kUpdOk;
}

void StripBom(std::string& text) {
  if (text.starts_with(kUtf8Bom)) text.erase(0, kUtf8Bom.size());
}

bool KeepSignedPayload(std::string& text) {
  uint64_t offset = 0;
  uint64_t length = 0;
  if (!CheckSignedBuffer(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &offset,
                         &length, kRepositorySigner)) {
    return false;
  }
  text.resize(offset + length);
  text.erase(0, offset);
  return true;
}

}  // namespace

CRepositoryClient::CRepositoryClient(const RepositoryRun& run) : run_(run), session_(run_.session) {
  session_.Reset();
  session_.sessionWord = 0;
}

CRepositoryClient::~CRepositoryClient() {
  session_.PurgeDownloadCache();
  session_.CloseHttpTransports();
}

std::string CRepositoryClient::BuildUrl(std::string_view name, std::string_view file) const {
  return BuildRepositoryUrl(BaseUrl(), name, file);
}

std::string CRepositoryClient::MakeAbsoluteUrl(std::string_view path,
                                               bool protocolRelative) const {
  return MakeAbsoluteRepositoryUrl(session_.GetSchemePrefix(), path, protocolRelative);
}

std::optional<std::string> CRepositoryClient::ResourceUrl(std::string_view name,
                                                          std::string_view path) const {
  if (!IsAcceptedRepositoryPath(path)) return std::nullopt;
  std::string text(path);
  if (!IsRemotePath(text.c_str()).remote) return BuildUrl(name, path);
  bool protocol_relative = path.starts_with("//");
  std::string url = MakeAbsoluteUrl(path, protocol_relative);
  if (protocol_relative && !IsNetworkUrl(url)) return std::nullopt;
  return url;
}

std::optional<std::string> CRepositoryClient::GetChangelogUrl(const AppUpdateRecord& record) const {
  if (!record.changelog) return std::nullopt;
  return ResourceUrl(run_.fields.product, record.changelog->path);
}

std::optional<std::string> CRepositoryClient::GetDocumentUrl(std::string_view name,
                                                             std::string_view folder,
                                                             std::string_view file) const {
  std::string file_text(file);
  if (IsRemotePath(file_text.c_str()).remote) return ResourceUrl(name, file);
  std::string joined = PathJoinString(folder, file);
  if (!IsAcceptedRepositoryPath(joined)) return std::nullopt;
  std::string folder_text(folder);
  if (IsRemotePath(folder_text.c_str()).remote) return ResourceUrl(name, joined);
  return BuildUrl(name, joined);
}

UpdError CRepositoryClient::FetchListing(const std::string& url, const std::string& temporary,
                                         std::string& localCopy) {
  char local_path[kPathSize] = {};
  DownloadFileArgs args;
  args.url = url.c_str();
  args.target = temporary.c_str();
  args.settings = &Settings();
  args.callerWord = kCallerWord;
  args.useValidators = true;
  args.localFolder = run_.updateFolder.c_str();
  args.sourceFlag = SourceFlag();
  args.extraFlag = kExtraFlag;
  args.channelName = GetChannelNameShort(&Settings());
  args.localPathOut = local_path;
  args.localPathOutSize = sizeof local_path;
  args.sizeBound = kDocumentBound;
  const UpdError result = static_cast<UpdError>(session_.DownloadFile(args));
  localCopy = local_path;
  if (result == kUpdOk) {
    const UpdError moved =
        static_cast<UpdError>(FileMove(temporary.c_str(), localCopy.c_str(), kLocalCopyMoveFlags));
    if (moved != kUpdOk) {
      (void)DeleteFileChecked(localCopy.c_str(), 0);
      return moved;
    }
    return kUpdOk;
  }
  return result == kUpdNotModified ? kUpdOk : result;
}

Result<std::string> CRepositoryClient::DownloadDocumentText(const std::string& url,
                                                            const char* prefix, bool isSigned) {
  char temporary[kPathSize] = {};
  if (OsGetTempFileName(prefix, temporary, sizeof temporary, nullptr) != 0 || temporary[0] == 0) {
    return kUpdTempFileFailed;
  }
  std::string out;
  UpdError result;
  {
    ListingScope listing(session_);
    std::string local_copy;
    result = FetchListing(url, temporary, local_copy);
    if (result == kUpdOk) result = ReadDocumentFile(local_copy, out);
    if (result == kUpdOk && isSigned && !KeepSignedPayload(out)) result = kUpdSignatureMismatch;
    if (result == kUpdSignatureMismatch || result == kUpdBadFile) {
      (void)DeleteFileChecked(local_copy.c_str(), 0);
    }
  }
  if (FileExists(temporary)) (void)DeleteFileChecked(temporary, 0);
  if (result != kUpdOk) return result;
  StripBom(out);
  return out;
}

Result<std::string> CRepositoryClient::DownloadMetadata(std::string_view name) {
  Result<std::string> text =
      DownloadDocumentText(BuildUrl(name, kMetadataFile), kMetadataPrefix, true);
  if (text.code() == kUpdNotFound || text.code() == kUpdServiceUnavailable) {
    return kUpdNothingToDo;
  }
  return text;
}

Result<std::string> CRepositoryClient::DownloadManifest(const AppUpdateRecord& record) {
  std::string folder = record.eula ? record.eula->path : std::string();
  std::optional<std::string> url = ResourceUrl(record.id, PathJoinString(folder, kManifestFile));
  if (!url) return kUpdUnsupportedScheme;
  return DownloadDocumentText(*url, kManifestPrefix, false);
}

UpdError CRepositoryClient::FetchRepositoryFile(const std::string& url, const std::string& target,
                                                const std::string& cacheKey,
                                                const TransferBound& bound) {
  FetchFileArgs args;
  args.callerWord = kCallerWord;
  args.url = url.c_str();
  args.target = target.c_str();
  args.settings = &Settings();
  args.localFolder = run_.updateFolder.c_str();
  args.cacheKey = cacheKey.c_str();
  args.sourceFlag = SourceFlag();
  args.extraFlag = kExtraFlag;
  args.channelName = GetChannelNameShort(&Settings());
  args.sizeBound = bound;
  return static_cast<UpdError>(session_.FetchFile(args));
}

UpdError CRepositoryClient::DownloadPackage(std::string_view name, const AppUpdateRecord& record,
                                            const std::string& destination) {
  std::optional<std::string> url = ResourceUrl(name, record.path);
  if (!url) return kUpdUnsupportedScheme;
  const uint64_t size = static_cast<uint64_t>(record.size);
  NotifyHostStatus(1, &Settings(), 1, size);
  if (ConfirmLargeDownload(&Settings(), size) == 0) return kUpdStopped;
  // The reader leaves "size" 0 when the record has none.
  const TransferBound bound{record.size > 0 ? size : kDefaultFileDownloadBytes,
                            kUpdSourceUnreadable};
  const UpdError result =
      FetchRepositoryFile(*url, destination, kPackageKeyPrefix + record.hash, bound);
  return result == kUpdServiceUnavailable ? kUpdNothingToDo : result;
}

UpdError CRepositoryClient::VerifyFileHash(const AppUpdateRecord& record, const std::string& path) {
  char digest[41] = {};
  if (!FileSha1Hex(path.c_str(), digest, sizeof digest)) return kUpdSignatureMismatch;
  return AsciiStrICmp(digest, record.hash.c_str()) == 0 ? kUpdOk : kUpdSignatureMismatch;
}

PackageKind CRepositoryClient::IsPlatformSupported(const AppUpdateRecord& record) {
  if (Repository::HasFormat(record, Repository::kApplicationFormat)) return kPackageForHost;
  return Repository::IsSupportedPackageFormat(record.format) ? kPackageInstallable
                                                             : kPackageUnsupported;
}

bool CRepositoryClient::IsEulaApplicable(const EulaFileRecord& file,
                                         const AppUpdateRecord& record) const {
  return IsEulaFileCurrent(file, record, ProductLanguage());
}
