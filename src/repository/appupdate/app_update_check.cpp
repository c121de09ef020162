#include <string_view>
#include <vector>

#include "platform/util/host_records.h"
#include "platform/util/update_errors.h"
#include "repository/appupdate/app_update_info.h"
#include "repository/appupdate/app_update_manager.h"
#include "repository/client/repository_host_records.h"

namespace {

bool Append(HOST_STRING* string, std::string_view text) {
  return HostStringAppend(string, text.size(), text.data());
}

// A finding on its way into the host's array; a failed append or push-back
// marks the check out of memory and the next field is still tried.
class Finding {
 public:
  explicit Finding(UpdError& code) : code_(code) { AppUpdateInfoInit(&info_); }
  ~Finding() { AppUpdateInfoDestroy(&info_); }
  Finding(const Finding&) = delete;
  Finding& operator=(const Finding&) = delete;

  APP_UPDATE_INFO& info() { return info_; }
  void Text(HOST_STRING APP_UPDATE_INFO::*field, std::string_view text) {
    Check(Append(&(info_.*field), text));
  }
  void Check(bool ok) {
    if (!ok) code_ = kUpdOutOfMemory;
  }
  // The id, version and what the repository says of the package.
  void Describe(const CRepositoryClient& client, std::string_view id,
                const AppUpdateRecord& record) {
    Text(&APP_UPDATE_INFO::id, id);
    Text(&APP_UPDATE_INFO::version, record.version);
    info_.severity = record.severity;
    info_.date = record.date;
    info_.size = static_cast<uint64_t>(record.size);
    Text(&APP_UPDATE_INFO::changelogUrl, client.GetChangelogUrl(record).value_or(""));
  }
  void Document(const AgreementDocument& document) {
    Check(FillAppUpdateDocumentFields(document.name, document.version, document.url,
                                      document.agreementHash, document.documentHash,
                                      document.effectiveDate, document.level, &info_));
  }
  void PushTo(HOST_ARRAY* out) { Check(AppUpdateInfoArrayPushBack(out, &info_)); }

 private:
  UpdError& code_;
  APP_UPDATE_INFO info_;
};

const RepositoryProductRecord* FindProduct(const HOST_ARRAY* products, std::string_view id) {
  for (uint64_t i = 0; i < products->count; ++i) {
    const auto* product = HostArrayAt<RepositoryProductRecord>(products, i);
    if (HostStringView(&product->name) == id) return product;
  }
  return nullptr;
}

CRepositoryClient::QueryLists Lists(const APP_UPDATE_CHECK_PARAMS& params) {
  return {&params.products, &params.components, HostStringView(&params.agreementProduct),
          HostStringView(&params.agreementName), &params.agreements};
}

// The newest application update only: the newer of the three candidates,
// when it has a version at all.
UpdError QueryNewest(CRepositoryClient& client, const CRepositoryClient::QueryLists& lists,
                     std::vector<AppUpdateRecord>& updates, std::vector<AppUpdateRecord>& products,
                     Repository::AgreementResult& agreements) {
  Repository::UpdateCandidates candidates;
  const UpdError code = client.FindApplicationUpdates(lists, products, agreements, candidates);
  if (code != kUpdOk) return code;
  AppUpdateRecord picked;
  CRepositoryClient::PickNewer(picked, candidates.levelOne, candidates.levelZero,
                               candidates.package);
  if (picked.version_id != 0) updates.push_back(std::move(picked));
  return kUpdOk;
}

}  // namespace

UpdError AppUpdateManager::CheckForAppUpdate(const RepositoryRun& run,
                                             const APP_UPDATE_CHECK_PARAMS& params,
                                             HOST_ARRAY* out) {
  CRepositoryClient client(run);
  const CRepositoryClient::QueryLists lists = Lists(params);
  std::vector<AppUpdateRecord> updates;
  std::vector<AppUpdateRecord> products;
  Repository::AgreementResult agreements;
  UpdError code = params.fullQuery != 0
                      ? client.QueryResources(lists, updates, products, agreements)
                      : QueryNewest(client, lists, updates, products, agreements);
  if (code != kUpdOk) return code;

  for (const AppUpdateRecord& record : updates) {
    Finding finding(code);
    finding.info().productWord = run.fields.repositoryFlags;
    finding.Describe(client, record.id, record);
    AgreementDocument document;
    if (client.FindDocument(record, &params.components, document)) finding.Document(document);
    finding.PushTo(out);
  }
  for (const AppUpdateRecord& record : products) {
    const RepositoryProductRecord* product = FindProduct(&params.products, record.id);
    if (product == nullptr) continue;
    Finding finding(code);
    finding.info().productWord = product->productWord;
    finding.Describe(client, HostStringView(&product->name), record);
    finding.PushTo(out);
  }
  AgreementDocument document;
  if (agreements.newer && client.FindDocument(*agreements.newer, &params.components, document)) {
    Finding finding(code);
    finding.Text(&APP_UPDATE_INFO::id, agreements.newer->id);
    finding.Text(&APP_UPDATE_INFO::version, agreements.newer->version);
    finding.Document(document);
    finding.PushTo(out);
  }
  if (agreements.current) {
    const AppUpdateRecord& current = *agreements.current;
    Finding finding(code);
    finding.Text(&APP_UPDATE_INFO::id, current.id);
    finding.Text(&APP_UPDATE_INFO::version, current.version);
    finding.info().agreementLevel = 1;
    finding.Text(&APP_UPDATE_INFO::agreementVersion, current.version);
    finding.Text(&APP_UPDATE_INFO::agreementName, current.tags.empty() ? "" : current.tags[0]);
    finding.Text(&APP_UPDATE_INFO::agreementHash, current.hash);
    finding.PushTo(out);
  }
  return code;
}
