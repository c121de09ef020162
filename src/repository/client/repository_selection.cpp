#include "repository/client/repository_selection.h"

#include <algorithm>

#include "platform/util/host_fields.h"
#include "platform/util/host_records.h"
#include "repository/client/repository_urls.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/common/version_numbers.h"

namespace Repository {

namespace {

int32_t FormatNumber(const AppUpdateRecord& record) { return static_cast<int32_t>(record.format); }

bool HasLevel(const AppUpdateRecord& record) {
  return record.update.has_value() && record.update->level.has_value();
}

bool HasTag(const std::vector<std::string>& tags, std::string_view name) {
  return std::find(tags.begin(), tags.end(), name) != tags.end();
}

template <typename Fn>
void ForEachComponent(const HOST_ARRAY* components, Fn&& fn) {
  if (components == nullptr) return;
  for (uint64_t i = 0; i < components->count; ++i) {
    fn(*HostArrayAt<AcceptedComponentRecord>(components, i));
  }
}

void TakeIfNewer(AppUpdateRecord& candidate, const AppUpdateRecord& record) {
  if (record.version_id > candidate.version_id) candidate = record;
}

}  // namespace

bool IsSupportedPackageFormat(ResourceFormat format) {
  return std::find(kSupportedPackageFormats.begin(), kSupportedPackageFormats.end(),
                   static_cast<int32_t>(format)) != kSupportedPackageFormats.end();
}

bool HasFormat(const AppUpdateRecord& record, int32_t format) {
  return FormatNumber(record) == format;
}

bool IsEmptySlot(const AppUpdateRecord& record) { return record.version_id == 0; }

void FillPackageCondition(PackageCondition& condition, int64_t base, const char* language,
                          const HostIdentity& identity) {
  condition.SetBase(base);
  condition.SetLanguage(language);
  condition.SetPlatform(GetArchName());
  condition.SetOsType(GetRepositoryPlatformName(identity.os).c_str());
  condition.SetOsEdition(HostFieldString(identity.os.edition).c_str());
  condition.SetOsPackageSystem(HostFieldString(identity.os.packageSystem).c_str());
  condition.SetOsBits(HostFieldString(identity.os.bits).c_str());
  if (identity.osAnswered) condition.SetOsVersion(identity.os.version);
  if (identity.dealAnswered) condition.SetDealId(HostFieldString(identity.deal.dealId).c_str());
}

void AppendApplicationUpdates(const std::vector<AppUpdateRecord>& records, int64_t base,
                              std::vector<AppUpdateRecord>& out) {
  for (const AppUpdateRecord& record : records) {
    if (record.version_id > base && HasFormat(record, kApplicationFormat) && HasLevel(record)) {
      out.push_back(record);
    }
  }
}

void AppendPackageUpdates(const std::vector<AppUpdateRecord>& records, int64_t base,
                          std::vector<AppUpdateRecord>& out) {
  for (const AppUpdateRecord& record : records) {
    if (record.version_id > base && IsSupportedPackageFormat(record.format)) out.push_back(record);
  }
}

std::optional<AppUpdateRecord> PickProductRecord(const std::vector<AppUpdateRecord>& records,
                                                 int32_t format, int64_t installed) {
  const AppUpdateRecord* best = nullptr;
  for (const AppUpdateRecord& record : records) {
    if (!HasFormat(record, format) || record.version_id <= installed) continue;
    if (best == nullptr || record.version_id > best->version_id) best = &record;
  }
  if (best == nullptr) return std::nullopt;
  return *best;
}

AgreementCandidates PickAgreementCandidates(const std::vector<AppUpdateRecord>& records,
                                            std::string_view name, uint64_t installed) {
  AgreementCandidates out;
  uint64_t newer = 0;
  uint64_t current = 0;
  for (const AppUpdateRecord& record : records) {
    if (!HasFormat(record, kAgreementFormat) || !HasTag(record.tags, name)) continue;
    uint64_t version = ParseVersion3(record.version.c_str());
    if (version > installed) {
      if (!out.newer || version > newer) {
        out.newer = record;
        newer = version;
      }
    } else if (version > current) {
      out.current = record;
      current = version;
    }
  }
  return out;
}

Collection CollectionFromRecord(const AppUpdateRecord& record) {
  Collection reference;
  reference.id = record.id;
  reference.path = record.path;
  reference.format = record.format;
  reference.hash = record.hash;
  if (!record.version.empty()) reference.version = record.version;
  reference.version_id = record.version_id;
  reference.tags = record.tags;
  return reference;
}

uint64_t InstalledComponentVersion(const HOST_ARRAY* components, std::string_view name) {
  uint64_t installed = 0;
  ForEachComponent(components, [&](const AcceptedComponentRecord& component) {
    if (HostStringView(&component.name) != name) return;
    installed = std::max(installed, ParseVersion3(HostStringText(&component.version)));
  });
  return installed;
}

void SortCandidates(const std::vector<AppUpdateRecord>& records, UpdateCandidates& candidates) {
  candidates = {};
  for (const AppUpdateRecord& record : records) {
    if (HasFormat(record, kApplicationFormat)) {
      if (!HasLevel(record)) continue;
      if (*record.update->level == 1) TakeIfNewer(candidates.levelOne, record);
      if (*record.update->level == 0) TakeIfNewer(candidates.levelZero, record);
    } else if (IsSupportedPackageFormat(record.format)) {
      TakeIfNewer(candidates.package, record);
    }
  }
}

void MatchCandidates(const std::vector<AppUpdateRecord>& records, int64_t wanted,
                     int32_t severity, UpdateCandidates& candidates) {
  candidates = {};
  for (const AppUpdateRecord& record : records) {
    if (record.version_id != wanted || record.severity != severity) continue;
    if (HasFormat(record, kApplicationFormat)) {
      if (!HasLevel(record)) continue;
      if (*record.update->level == 1) candidates.levelOne = record;
      if (*record.update->level == 0) candidates.levelZero = record;
    } else if (IsSupportedPackageFormat(record.format)) {
      candidates.package = record;
    }
  }
}

bool IsEmpty(const UpdateCandidates& candidates) {
  return IsEmptySlot(candidates.levelOne) && IsEmptySlot(candidates.levelZero) &&
         IsEmptySlot(candidates.package);
}

}  // namespace Repository

bool FindComponentByName(const HOST_ARRAY* components, std::string_view text) {
  if (components == nullptr) return false;
  for (uint64_t i = 0; i < components->count; ++i) {
    const auto& component = *HostArrayAt<AcceptedComponentRecord>(components, i);
    if (HostStringView(&component.documentHash) == text) return true;
  }
  return false;
}
