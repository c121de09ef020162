#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/util/result.h"
#include "platform/util/update_errors.h"
#include "repository/client/app_update_record.h"
#include "repository/client/repository_host_records.h"
#include "repository/client/repository_run.h"
#include "repository/client/repository_selection.h"
#include "repository/selection/package_condition.h"
#include "repository/selection/repository_logger.h"
#include "updater.h"
#include "updater/engine/common/download_bounds.h"

class CDownloadSession;

// What a run may do with a chosen package; it is the low part of the run's
// outcome word.
enum PackageKind : uint32_t {
  kPackageUnsupported = 0,
  kPackageInstallable = 1,  // a supported package format, installed here
  kPackageForHost = 2,      // an application update, which this build leaves alone
};

// The document of an agreement that the user must see before an update.
struct AgreementDocument {
  std::string name;  // the first of the agreement's tags
  std::string version;
  std::string agreementHash;
  std::string documentHash;
  std::string url;
  std::string effectiveDate;
  uint32_t level = 4;  // CompareComponentVersions
};

// The product repository as one driver call sees it: URLs of product
// folders and resource paths, the signed "metadata3" document, agreement
// manifests and packages, all fetched through the run's download session,
// and the queries that choose updates from them. Built on the caller's
// stack for one call; the objects the run record refers to must outlive it.
class CRepositoryClient {
 public:
  // Resets the run's session for this call. The run's source flag's
  // negation goes with every download.
  explicit CRepositoryClient(const RepositoryRun& run);
  // Purges the session's download cache and closes its HTTP connections, so
  // that none outlives the call.
  ~CRepositoryClient();
  CRepositoryClient(const CRepositoryClient&) = delete;
  CRepositoryClient& operator=(const CRepositoryClient&) = delete;

  // Limit of a document (downloaded, and read into memory): the
  // repository's documents are a few hundred KiB, and a hostile or broken
  // server must not make the library hold an endless body. A larger one
  // fails with kUpdBadFile.
  static constexpr uint64_t kMaxDocumentBytes = ::kMaxDocumentBytes;

  const std::string& BaseUrl() const { return run_.fields.baseUrl; }
  // The product language of the settings.
  const std::string& ProductLanguage() const { return run_.fields.language; }
  const RepositoryRun& Run() const { return run_; }

  std::string BuildUrl(std::string_view name, std::string_view file) const;
  std::string MakeAbsoluteUrl(std::string_view path, bool protocolRelative) const;
  // The URL of a path a repository document gives: its own server's, or
  // below name's folder. Nothing for a path the client refuses to follow
  // (IsAcceptedRepositoryPath).
  std::optional<std::string> ResourceUrl(std::string_view name, std::string_view path) const;
  // Nothing when the record has no change log (or its path is refused).
  [[nodiscard]] std::optional<std::string> GetChangelogUrl(const AppUpdateRecord& record) const;
  std::optional<std::string> GetDocumentUrl(std::string_view name, std::string_view folder,
                                            std::string_view file) const;

  // The verified JSON text of name's "metadata3", without a byte-order mark.
  [[nodiscard]] Result<std::string> DownloadMetadata(std::string_view name);
  // The "manifest.erm" of the record's agreement, unchecked.
  [[nodiscard]] Result<std::string> DownloadManifest(const AppUpdateRecord& record);
  // The record's package into destination, resumable through the cache and
  // bounded by the record's "size" (kUpdSourceUnreadable past it; a record without a size
  // has the default bound of a file); the host hears of it (event 2) and may
  // decline it (event 20).
  [[nodiscard]] UpdError DownloadPackage(std::string_view name, const AppUpdateRecord& record,
                                         const std::string& destination);
  // A file of the repository through the download cache under cacheKey.
  [[nodiscard]] UpdError FetchRepositoryFile(const std::string& url, const std::string& target,
                                             const std::string& cacheKey,
                                             const TransferBound& bound);
  // The bound of a document fetched to a file.
  static constexpr TransferBound kDocumentBound{kMaxDocumentBytes, kUpdBadFile};
  // 0 when the file's SHA-1 is the record's "hash" (letter case ignored).
  [[nodiscard]] static UpdError VerifyFileHash(const AppUpdateRecord& record,
                                               const std::string& path);
  // What a run may do with the record's package.
  [[nodiscard]] static PackageKind IsPlatformSupported(const AppUpdateRecord& record);

  [[nodiscard]] bool IsEulaApplicable(const EulaFileRecord& file,
                                      const AppUpdateRecord& record) const;
  // True when the record's agreement has a document the user has not
  // accepted yet; out then describes it (out.level is set from step 2 on).
  [[nodiscard]] bool FindDocument(const AppUpdateRecord& record, const HOST_ARRAY* components,
                                  AgreementDocument& out);

  // The host's lists, as the drivers pass them to the queries.
  struct QueryLists {
    const HOST_ARRAY* products = nullptr;    // RepositoryProductRecord
    const HOST_ARRAY* components = nullptr;  // AcceptedComponentRecord
    std::string_view agreementProduct;
    std::string_view agreementName;
    const HOST_ARRAY* agreements = nullptr;  // EulaFileRecord
  };

  [[nodiscard]] UpdError QueryResources(const QueryLists& lists,
                                        std::vector<AppUpdateRecord>& updates,
                                        std::vector<AppUpdateRecord>& products,
                                        Repository::AgreementResult& agreements);
  [[nodiscard]] UpdError QueryProducts(const HOST_ARRAY* productList, PackageCondition& condition,
                                       Repository::ILoggable& logger,
                                       std::vector<AppUpdateRecord>& products);
  [[nodiscard]] UpdError QueryProduct(const QueryLists& lists, PackageCondition& condition,
                                      Repository::ILoggable& logger,
                                      Repository::AgreementResult& agreements);
  [[nodiscard]] UpdError FindApplicationUpdates(const QueryLists& lists,
                                                std::vector<AppUpdateRecord>& products,
                                                Repository::AgreementResult& agreements,
                                                Repository::UpdateCandidates& candidates);
  [[nodiscard]] UpdError FindApplicationUpdate(const QueryLists& lists,
                                               std::vector<AppUpdateRecord>& products,
                                               Repository::AgreementResult& agreements,
                                               const HOST_STRING& wantedVersion,
                                               uint32_t wantedSeverity,
                                               Repository::UpdateCandidates& candidates);
  // The newest of three by version_id; a tie keeps the earlier one.
  static void PickNewer(AppUpdateRecord& out, const AppUpdateRecord& first,
                        const AppUpdateRecord& second, const AppUpdateRecord& third);

 private:
  [[nodiscard]] Result<std::string> DownloadDocumentText(const std::string& url, const char* prefix,
                                                         bool isSigned);
  [[nodiscard]] UpdError FetchListing(const std::string& url, const std::string& temporary,
                                      std::string& localCopy);
  // The decision tree of name's metadata evaluated against condition.
  [[nodiscard]] UpdError QueryRecords(std::string_view name, PackageCondition& condition,
                                      Repository::ILoggable& logger,
                                      std::vector<AppUpdateRecord>& records);
  [[nodiscard]] Repository::HostIdentity AskHostIdentity() const;
  [[nodiscard]] const UPDATER_SETTINGS& Settings() const { return run_.settings; }
  [[nodiscard]] uint32_t SourceFlag() const { return run_.sourceFlag ? 0 : 1; }

  // A copy, so that a client never outlives the record it was made from.
  const RepositoryRun run_;
  CDownloadSession& session_;
};
