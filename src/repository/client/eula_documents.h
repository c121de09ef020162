#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "repository/client/app_update_record.h"
#include "repository/client/repository_host_records.h"

// Licence agreements: whether the installed ones cover an update, and which
// document of an agreement's manifest ("manifest.erm") applies.

// Same length, ASCII letters without regard to case, '-' and '_' equal.
[[nodiscard]] bool LanguagesMatch(std::string_view a, std::string_view b);

// How far the accepted components called one of names are behind version
// (ParseVersion3): 1 recent enough, 2 a patch, 3 a minor, 4 a major version
// behind or none installed. The smallest level over the components counts.
[[nodiscard]] uint32_t CompareComponentVersions(const std::set<std::string>& names,
                                                std::string_view version,
                                                const HOST_ARRAY* components);

// Whether an installed agreement file covers the record: its name is one of
// the record's tags, its version is at least the record's and its language
// matches language.
[[nodiscard]] bool IsEulaFileCurrent(const EulaFileRecord& file, const AppUpdateRecord& record,
                                     std::string_view language);

// Whether the record names an agreement collection with a folder.
[[nodiscard]] bool HasAgreementReference(const AppUpdateRecord& record);

// Document formats shown to the user before an update.
inline constexpr int32_t kShownDocumentFormats[] = {136, 129};
// Document type of a file kept as an installed agreement.
inline constexpr int32_t kKeptDocumentType = 15;

struct ManifestDocument {
  std::string path;
  std::string hash;
  std::string effectiveDate;
};

// The first document to show in language whose path is non-empty and whose
// hash no component has accepted. Nothing when the manifest does not parse.
[[nodiscard]] std::optional<ManifestDocument> FindShownDocument(std::string_view manifest,
                                                                std::string_view language,
                                                                const HOST_ARRAY* components);
// The first document of type 15 in format and language.
[[nodiscard]] std::optional<ManifestDocument> FindKeptDocument(std::string_view manifest,
                                                               int32_t format,
                                                               std::string_view language);
