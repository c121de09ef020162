#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "repository/client/app_update_record.h"
#include "repository/client/repository_host_records.h"
#include "repository/selection/package_condition.h"

// How the repository queries choose among the records a decision tree gives.
// Versions ("version_id" and ParseVersion4 numbers) compare as signed 64-bit
// numbers; agreement versions (ParseVersion3) as unsigned ones.

namespace Repository {

inline constexpr int32_t kApplicationFormat = 9;
inline constexpr int32_t kAgreementFormat = 322;
inline constexpr std::array<int32_t, 3> kSupportedPackageFormats = {8, 323, 10};

[[nodiscard]] bool IsSupportedPackageFormat(ResourceFormat format);
[[nodiscard]] bool HasFormat(const AppUpdateRecord& record, int32_t format);

// The newest agreement newer than the installed one, and the newest not
// newer when an installed agreement file does not cover it. A record whose
// version_id is 0 fills neither.
struct AgreementResult {
  std::optional<AppUpdateRecord> newer;
  std::optional<AppUpdateRecord> current;
};
// A candidate is empty while its version_id is 0.
[[nodiscard]] bool IsEmptySlot(const AppUpdateRecord& record);

struct UpdateCandidates {
  AppUpdateRecord levelOne;
  AppUpdateRecord levelZero;
  AppUpdateRecord package;
};

// What the host tells of the installation (events 30 and 31), with whether
// it answered each.
struct HostIdentity {
  RepositoryDealBlock deal{};
  bool dealAnswered = false;
  RepositoryOsInfo os{};
  bool osAnswered = false;
};

// Sets base, language, platform and the OS keys in that order; os.version
// and deal_id only when the host answered their event.
void FillPackageCondition(PackageCondition& condition, int64_t base, const char* language,
                          const HostIdentity& identity);

// First pass: application updates (format 9 with "update"."level") newer
// than base.
void AppendApplicationUpdates(const std::vector<AppUpdateRecord>& records, int64_t base,
                              std::vector<AppUpdateRecord>& out);
// Second pass: records of a supported package format newer than base.
void AppendPackageUpdates(const std::vector<AppUpdateRecord>& records, int64_t base,
                          std::vector<AppUpdateRecord>& out);

// The first record of the wanted format with the greatest version_id above
// installed.
[[nodiscard]] std::optional<AppUpdateRecord> PickProductRecord(
    const std::vector<AppUpdateRecord>& records, int32_t format, int64_t installed);

// Format-322 records tagged with name, by ParseVersion3 of their "version":
// the first with the greatest version above installed, and the first with
// the greatest non-zero version not above it.
struct AgreementCandidates {
  std::optional<AppUpdateRecord> newer;
  std::optional<AppUpdateRecord> current;
};
[[nodiscard]] AgreementCandidates PickAgreementCandidates(
    const std::vector<AppUpdateRecord>& records, std::string_view name, uint64_t installed);
// The agreement reference a record stands for itself.
[[nodiscard]] Collection CollectionFromRecord(const AppUpdateRecord& record);

// The greatest ParseVersion3 of the components called name (0 when none).
[[nodiscard]] uint64_t InstalledComponentVersion(const HOST_ARRAY* components,
                                                 std::string_view name);

// Sorts records into the three candidates by the greatest version_id; ties
// keep the earlier record.
void SortCandidates(const std::vector<AppUpdateRecord>& records, UpdateCandidates& candidates);
// The same for one wanted version and severity: the last match of each
// bucket wins.
void MatchCandidates(const std::vector<AppUpdateRecord>& records, int64_t wanted,
                     int32_t severity, UpdateCandidates& candidates);
[[nodiscard]] bool IsEmpty(const UpdateCandidates& candidates);

}  // namespace Repository

// True when a component record's accepted-document hash is text (bytes,
// whole length).
[[nodiscard]] bool FindComponentByName(const HOST_ARRAY* components, std::string_view text);
