#include "repository/client/eula_documents.h"

#include <algorithm>
#include <functional>

#include "platform/util/host_records.h"
#include "repository/client/repository_selection.h"
#include "repository/json/json_parser.h"
#include "updater/engine/common/version_numbers.h"

namespace {

char FoldLanguageChar(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  return c == '-' ? '_' : c;
}

constexpr uint64_t kMajorMask = 0xFFFF000000000000;
constexpr uint64_t kMinorMask = 0x0000FFFF00000000;

uint32_t VersionLevel(uint64_t installed, uint64_t wanted) {
  if (installed >= wanted) return 1;
  if ((installed & kMajorMask) != (wanted & kMajorMask)) return 4;
  if ((installed & kMinorMask) != (wanted & kMinorMask)) return 3;
  return 2;
}

bool HasLanguage(const wexajson::Value& languages, std::string_view language) {
  if (!languages.IsArray()) return false;
  for (uint32_t i = 0; i < languages.Size(); ++i) {
    std::string_view text;
    if (languages.At(i).Text(&text) && LanguagesMatch(text, language)) return true;
  }
  return false;
}

std::optional<int64_t> IntMember(const wexajson::Value& object, std::string_view name) {
  wexajson::Value value = object[name];
  if (!value.IsInt()) return std::nullopt;
  return value.AsInt64(0);
}

ManifestDocument ReadDocument(const wexajson::Value& document) {
  return {document["path"].AsString(""), document["hash"].AsString(""),
          document["effective_date"].AsString("")};
}

// The first "document" of the manifest's root that accept takes.
std::optional<ManifestDocument> FindDocument(
    std::string_view manifest,
    const std::function<bool(const wexajson::Value&, const ManifestDocument&)>& accept) {
  wexajson::Value root = wexajson::Parse(manifest, wexajson::kDocumentDepth);
  for (uint32_t i = 0; i < root.Size(); ++i) {
    wexajson::Value document = root.At(i)["document"];
    if (!document.IsObject()) continue;
    ManifestDocument read = ReadDocument(document);
    if (accept(document, read)) return read;
  }
  return std::nullopt;
}

}  // namespace

bool LanguagesMatch(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return FoldLanguageChar(x) == FoldLanguageChar(y);
  });
}

uint32_t CompareComponentVersions(const std::set<std::string>& names, std::string_view version,
                                  const HOST_ARRAY* components) {
  uint32_t level = 4;
  if (components == nullptr) return level;
  uint64_t wanted = ParseVersion3(std::string(version).c_str());
  for (uint64_t i = 0; i < components->count; ++i) {
    const auto& component = *HostArrayAt<AcceptedComponentRecord>(components, i);
    if (names.count(std::string(HostStringView(&component.name))) == 0) continue;
    uint64_t installed = ParseVersion3(HostStringText(&component.version));
    level = std::min(level, VersionLevel(installed, wanted));
  }
  return level;
}

bool IsEulaFileCurrent(const EulaFileRecord& file, const AppUpdateRecord& record,
                       std::string_view language) {
  std::string_view name = HostStringView(&file.name);
  if (std::find(record.tags.begin(), record.tags.end(), name) == record.tags.end()) return false;
  if (ParseVersion3(HostStringText(&file.version)) < ParseVersion3(record.version.c_str())) {
    return false;
  }
  return LanguagesMatch(HostStringView(&file.language), language);
}

bool HasAgreementReference(const AppUpdateRecord& record) {
  return record.eula.has_value() &&
         static_cast<int32_t>(record.eula->format) == Repository::kAgreementFormat &&
         !record.eula->path.empty();
}

std::optional<ManifestDocument> FindShownDocument(std::string_view manifest,
                                                  std::string_view language,
                                                  const HOST_ARRAY* components) {
  return FindDocument(manifest, [&](const wexajson::Value& document, const ManifestDocument& read) {
    std::optional<int64_t> format = IntMember(document, "format");
    bool shown = format && std::find(std::begin(kShownDocumentFormats),
                                     std::end(kShownDocumentFormats),
                                     *format) != std::end(kShownDocumentFormats);
    return shown && HasLanguage(document["language"], language) && !read.path.empty() &&
           !FindComponentByName(components, read.hash);
  });
}

std::optional<ManifestDocument> FindKeptDocument(std::string_view manifest, int32_t format,
                                                 std::string_view language) {
  return FindDocument(manifest, [&](const wexajson::Value& document, const ManifestDocument&) {
    return IntMember(document, "type") == kKeptDocumentType &&
           IntMember(document, "format") == format && HasLanguage(document["language"], language);
  });
}
