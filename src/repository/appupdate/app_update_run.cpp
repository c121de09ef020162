#include <string_view>
#include <vector>

#include "platform/util/host_records.h"
#include "platform/util/update_errors.h"
#include "repository/appupdate/app_update_manager.h"
#include "repository/appupdate/step_results.h"
#include "repository/client/eula_manager.h"

namespace {

// Outcome word bits after the package kind.
constexpr uint32_t kOutcomeProducts = 4;
constexpr uint32_t kOutcomeAgreement = 8;
// A document the user has not seen at all must be shown before the update.
constexpr uint32_t kLevelNewDocument = 4;

bool Append(HOST_STRING* string, std::string_view text) {
  return HostStringAppend(string, text.size(), text.data());
}

CRepositoryClient::QueryLists Lists(const APP_UPDATE_PARAMS& params) {
  return {&params.products, &params.components, HostStringView(&params.agreementProduct),
          HostStringView(&params.agreementName), &params.agreements};
}

bool SkipsApplication(const APP_UPDATE_PARAMS& params) {
  return params.skipApplication != 0 || params.skipApplication2 != 0;
}

// Every field is tried; false when any append failed.
bool StoreDocument(const AgreementDocument& document, APP_UPDATE_RESULT& result) {
  bool ok = Append(&result.agreementHash, document.agreementHash);
  ok &= Append(&result.documentHash, document.documentHash);
  ok &= Append(&result.documentUrl, document.url);
  ok &= Append(&result.agreementName, document.name);
  ok &= Append(&result.agreementVersion, document.version);
  ok &= Append(&result.effectiveDate, document.effectiveDate);
  result.agreementLevel = document.level;
  return ok;
}

// The agreement files the accepted agreements do not cover yet. Nothing to
// do (kUpdNothingToDo) is recorded but is no failure of the run.
UpdError RunAgreementStep(CRepositoryClient& client, const APP_UPDATE_PARAMS& params,
                          const AppUpdateRecord& agreement, APP_UPDATE_RESULT& result,
                          StepResultList& steps) {
  UpdError step = EulaManager::Execute(client, &params.agreements, agreement);
  UpdError answer = step;
  if (step == kUpdOk) {
    bool ok = Append(&result.agreementHash, agreement.hash);
    ok &= Append(&result.agreementName, agreement.tags.empty() ? "" : agreement.tags[0]);
    ok &= Append(&result.agreementVersion, agreement.version);
    result.agreementLevel = 1;
    if (!ok) step = answer = kUpdOutOfMemory;
  } else if (step == kUpdNothingToDo) {
    answer = kUpdOk;
  }
  result.outcome |= kOutcomeAgreement;
  steps.Append(step, UPD_STEP_AGREEMENT);
  return answer;
}

}  // namespace

UpdError AppUpdateManager::PerformAppUpdate(const RepositoryRun& run,
                                            const APP_UPDATE_PARAMS& params,
                                            APP_UPDATE_RESULT& result) {
  StepResultList steps(params, &result.steps);
  CRepositoryClient client(run);
  const CRepositoryClient::QueryLists lists = Lists(params);
  std::vector<AppUpdateRecord> products;
  Repository::AgreementResult agreements;
  Repository::UpdateCandidates candidates;
  const UpdError query =
      params.wantedVersion.length != 0
          ? client.FindApplicationUpdate(lists, products, agreements, params.wantedVersion,
                                         params.wantedSeverity, candidates)
          : client.FindApplicationUpdates(lists, products, agreements, candidates);
  if (query != kUpdOk) {
    steps.AppendStepResult(query);
    return query;
  }

  AppUpdateRecord chosen;
  if (!SkipsApplication(params)) {
    CRepositoryClient::PickNewer(chosen, candidates.levelOne, candidates.levelZero,
                                 candidates.package);
  }
  const PackageKind kind = CRepositoryClient::IsPlatformSupported(chosen);
  result.outcome = kind;
  if (!Append(&result.changelogUrl, client.GetChangelogUrl(chosen).value_or(""))) {
    steps.AppendStepResult(kUpdOutOfMemory);
    return kUpdOutOfMemory;
  }
  AgreementDocument document;
  if (params.skipAgreementCheck == 0 && client.FindDocument(chosen, &params.components, document) &&
      document.level == kLevelNewDocument) {
    const UpdError code = StoreDocument(document, result) ? kUpdAgreementRequired : kUpdOutOfMemory;
    steps.AppendStepResult(code);
    return code;
  }

  if (kind == kPackageForHost) {
    steps.Append(kUpdNotSupported, UPD_STEP_APPLICATION_2);
    return kUpdNotSupported;
  }
  if (kind == kPackageInstallable) {
    const UpdError code = InstallPackage(client, candidates.package);
    steps.Append(code, UPD_STEP_APPLICATION);
    return code;
  }
  if (!products.empty()) {
    const UpdError code = DownloadPackages(client, &params.products, products);
    result.outcome |= kOutcomeProducts;
    steps.Append(code, UPD_STEP_PRODUCTS);
    if (code != kUpdOk) return code;
  }
  if (agreements.current) {
    return RunAgreementStep(client, params, *agreements.current, result, steps);
  }
  return kUpdOk;
}
