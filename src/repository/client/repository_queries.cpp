#include <set>

#include "platform/util/host_records.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "repository/client/eula_documents.h"
#include "repository/client/repository_client.h"
#include "repository/client/resource_reader.h"
#include "repository/selection/decision_tree.h"
#include "updater/engine/common/locale_name.h"
#include "updater/engine/common/version_numbers.h"

using Repository::AgreementResult;
using Repository::UpdateCandidates;

namespace {

// The settings' language as the repository spells it ("en-us" -> "en_US").
std::string RepositoryLanguage(const std::string& hostLanguage) {
  char language[sizeof UPDATER_SETTINGS::language] = {};
  SafeStrCopy(language, sizeof language, hostLanguage.c_str());
  NormalizeLocaleName(language, sizeof language);
  return language;
}

bool IsEmpty(const AgreementResult& agreements) { return !agreements.newer && !agreements.current; }

bool AnyFileNotCovering(const CRepositoryClient& client, const HOST_ARRAY* files,
                        const AppUpdateRecord& record) {
  for (uint64_t i = 0; files != nullptr && i < files->count; ++i) {
    if (!client.IsEulaApplicable(*HostArrayAt<EulaFileRecord>(files, i), record)) return true;
  }
  return false;
}

}  // namespace

Repository::HostIdentity CRepositoryClient::AskHostIdentity() const {
  Repository::HostIdentity identity;
  identity.dealAnswered = run_.host.AskDeal(identity.deal);
  identity.osAnswered = run_.host.AskOsInfo(identity.os);
  return identity;
}

UpdError CRepositoryClient::QueryRecords(std::string_view name, PackageCondition& condition,
                                         Repository::ILoggable& logger,
                                         std::vector<AppUpdateRecord>& records) {
  const Result<std::string> text = DownloadMetadata(name);
  if (!text) return text.code();
  records = Repository::ParseResourceList(DecisionTree::Load(*text, &logger), condition);
  return kUpdOk;
}

UpdError CRepositoryClient::QueryResources(const QueryLists& lists,
                                           std::vector<AppUpdateRecord>& updates,
                                           std::vector<AppUpdateRecord>& products,
                                           AgreementResult& agreements) {
  // Without the product's own metadata the products and agreements are
  // still asked for.
  Result<std::string> metadata = DownloadMetadata(run_.fields.product);
  if (!metadata && metadata.code() != kUpdNothingToDo) return metadata.code();
  const std::string text = metadata ? std::move(*metadata) : std::string();

  const int64_t app_version = static_cast<int64_t>(ParseVersion4(run_.appVersion.c_str()));
  const int64_t base = static_cast<int64_t>(ParseVersion4(run_.fields.productVersion.c_str()));
  Repository::HostIdentity identity = AskHostIdentity();

  Repository::CRepositoryLogger logger;
  PackageCondition condition(&logger);
  Repository::FillPackageCondition(condition, base,
                                   RepositoryLanguage(run_.fields.language).c_str(), identity);
  DecisionTree tree = DecisionTree::Load(text, &logger);
  Repository::AppendApplicationUpdates(Repository::ParseResourceList(tree, condition), base,
                                       updates);
  // The packages are chosen for the running application, yet filtered
  // against the second version like the first pass.
  condition.SetBase(app_version);
  Repository::AppendPackageUpdates(Repository::ParseResourceList(tree, condition), base, updates);

  condition.SetAppCode(run_.fields.repositoryFlags);
  condition.SetAppVersion(app_version);
  (void)QueryProducts(lists.products, condition, logger, products);
  (void)QueryProduct(lists, condition, logger, agreements);
  if (updates.empty() && products.empty() && IsEmpty(agreements)) return kUpdNothingToDo;
  return kUpdOk;
}

UpdError CRepositoryClient::QueryProducts(const HOST_ARRAY* productList,
                                          PackageCondition& condition,
                                          Repository::ILoggable& logger,
                                          std::vector<AppUpdateRecord>& products) {
  products.clear();
  if (productList == nullptr || productList->count == 0) return kUpdNothingToDo;
  for (uint64_t i = 0; i < productList->count; ++i) {
    const auto& product = *HostArrayAt<RepositoryProductRecord>(productList, i);
    const Result<std::string> text = DownloadMetadata(HostStringView(&product.name));
    if (!text) continue;
    const int64_t installed =
        static_cast<int64_t>(ParseVersion4(HostStringText(&product.installedVersion)));
    condition.SetBase(installed);
    std::optional<AppUpdateRecord> chosen = Repository::PickProductRecord(
        Repository::ParseResourceList(DecisionTree::Load(*text, &logger), condition),
        static_cast<int32_t>(product.format), installed);
    if (chosen) products.push_back(std::move(*chosen));
  }
  return products.empty() ? kUpdNothingToDo : kUpdOk;
}

UpdError CRepositoryClient::QueryProduct(const QueryLists& lists, PackageCondition& condition,
                                         Repository::ILoggable& logger,
                                         AgreementResult& agreements) {
  agreements = {};
  if (lists.agreementProduct.empty()) return kUpdNothingToDo;
  const Result<std::string> text = DownloadMetadata(lists.agreementProduct);
  if (!text) return kUpdNothingToDo;
  const uint64_t installed =
      Repository::InstalledComponentVersion(lists.components, lists.agreementName);
  condition.SetBase(static_cast<int64_t>(installed));
  Repository::AgreementCandidates candidates = Repository::PickAgreementCandidates(
      Repository::ParseResourceList(DecisionTree::Load(*text, &logger), condition),
      lists.agreementName, installed);
  // A record without a version_id is no agreement.
  if (candidates.newer && !Repository::IsEmptySlot(*candidates.newer)) {
    candidates.newer->eula = Repository::CollectionFromRecord(*candidates.newer);
    agreements.newer = std::move(candidates.newer);
  }
  if (candidates.current && !Repository::IsEmptySlot(*candidates.current)) {
    candidates.current->eula = Repository::CollectionFromRecord(*candidates.current);
    if (AnyFileNotCovering(*this, lists.agreements, *candidates.current)) {
      agreements.current = std::move(candidates.current);
    }
  }
  return IsEmpty(agreements) ? kUpdNothingToDo : kUpdOk;
}

UpdError CRepositoryClient::FindApplicationUpdates(const QueryLists& lists,
                                                   std::vector<AppUpdateRecord>& products,
                                                   AgreementResult& agreements,
                                                   UpdateCandidates& candidates) {
  std::vector<AppUpdateRecord> updates;
  const UpdError result = QueryResources(lists, updates, products, agreements);
  if (result != kUpdOk) return result;
  Repository::SortCandidates(updates, candidates);
  if (Repository::IsEmpty(candidates) && products.empty() && IsEmpty(agreements)) {
    return kUpdNothingToDo;
  }
  return kUpdOk;
}

UpdError CRepositoryClient::FindApplicationUpdate(
    const QueryLists& lists, std::vector<AppUpdateRecord>& products, AgreementResult& agreements,
    const HOST_STRING& wantedVersion, uint32_t wantedSeverity, UpdateCandidates& candidates) {
  std::vector<AppUpdateRecord> updates;
  const UpdError result = QueryResources(lists, updates, products, agreements);
  if (result != kUpdOk) return result;
  const int64_t wanted = static_cast<int64_t>(ParseVersion4(HostStringText(&wantedVersion)));
  Repository::MatchCandidates(updates, wanted, static_cast<int32_t>(wantedSeverity), candidates);
  if (Repository::IsEmpty(candidates) && products.empty() && IsEmpty(agreements)) {
    return kUpdNothingToDo;
  }
  return kUpdOk;
}

void CRepositoryClient::PickNewer(AppUpdateRecord& out, const AppUpdateRecord& first,
                                  const AppUpdateRecord& second, const AppUpdateRecord& third) {
  const AppUpdateRecord* chosen = second.version_id > first.version_id ? &second : &first;
  if (third.version_id > chosen->version_id) chosen = &third;
  if (chosen != &out) out = *chosen;
}

bool CRepositoryClient::FindDocument(const AppUpdateRecord& record, const HOST_ARRAY* components,
                                     AgreementDocument& out) {
  if (!HasAgreementReference(record)) return false;
  const Repository::Collection& reference = *record.eula;
  std::set<std::string> names(reference.tags.begin(), reference.tags.end());
  std::string version = reference.version.value_or("");
  out.level = CompareComponentVersions(names, version, components);
  if (out.level == 1) return false;
  for (uint64_t i = 0; components != nullptr && i < components->count; ++i) {
    const auto& component = *HostArrayAt<AcceptedComponentRecord>(components, i);
    if (HostStringView(&component.agreementHash) == reference.hash) return false;
  }
  const Result<std::string> manifest = DownloadManifest(record);
  if (!manifest) return false;
  std::optional<ManifestDocument> document =
      FindShownDocument(*manifest, ProductLanguage(), components);
  if (!document) return false;
  std::optional<std::string> url = GetDocumentUrl(record.id, reference.path, document->path);
  if (!url) return false;
  out.name = names.empty() ? std::string() : *names.begin();
  out.version = version;
  out.agreementHash = reference.hash;
  out.documentHash = document->hash;
  out.url = *url;
  out.effectiveDate = document->effectiveDate;
  return true;
}
