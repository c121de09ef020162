#include <algorithm>
#include <string>
#include <string_view>

#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/url_helpers.h"
#include "updater/engine/lists/component_list.h"
#include "updater/engine/lists/component_reader.h"

namespace {

// Section names of a name list are cut to this many characters.
constexpr size_t kMaxListedSection = 127;
constexpr std::string_view kNameSeparators = ", \t";

// '\' as '/' and 'A'-'Z' as lower case.
char FoldLocation(char c) {
  if (c == '\\') return '/';
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameLocation(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return FoldLocation(x) == FoldLocation(y); });
}

// A file field naming an inline file of the catalogue ("data0000" ...).
bool IsInlineData(const std::string& file) { return AsciiStrNICmp(file.c_str(), "data", 4) == 0; }

}  // namespace

void CListBase::MarkDropped(uint32_t category, const char* module, uint32_t platform,
                            std::optional<int32_t> level, uint32_t list_kind) {
  for (_COMPONENT_INFO& entry : *this) {
    if (entry.category == category && entry.level == level && entry.listKind == list_kind &&
        HasModule(entry, module, platform)) {
      ::MarkDropped(entry);
    }
  }
}

int64_t CListBase::ClearFlags(const char* module, uint32_t platform, uint32_t mask) {
  int64_t matched = 0;
  for (_COMPONENT_INFO& entry : *this) {
    if (!HasModule(entry, module, platform)) continue;
    entry.flags &= ~mask;
    ++matched;
  }
  return matched;
}

int64_t CListBase::AddOrMark(_COMPONENT_INFO& record, uint32_t flags) {
  record.flags |= flags;
  for (_COMPONENT_INFO& entry : *this) {
    if (!IsDropped(entry) && entry.category == record.category &&
        AsciiStrICmp(entry.name, record.name) == 0) {
      entry.flags |= flags;
      return GetSize();
    }
  }
  Add(record);
  return GetSize();
}

int64_t CListBase::AddFromNameList(const char* names, const Catalogue& catalogue) {
  const std::string_view text = names != nullptr ? names : "";
  size_t position = 0;
  while ((position = text.find_first_not_of(kNameSeparators, position)) != text.npos) {
    const size_t end = std::min(text.find_first_of(kNameSeparators, position), text.size());
    const std::string section(text.substr(position, std::min(end - position, kMaxListedSection)));
    position = end;
    _COMPONENT_INFO record;
    if (ReadComponentInfo(catalogue, section.c_str(), &record, false) &&
        (record.flags & (kComponentHasBuild | kComponentReference)) != 0) {
      AddOrMark(record, 0);
    }
  }
  return GetSize();
}

void CListBase::ResolvePaths(const char* server_root) {
  if (server_root == nullptr || server_root[0] == '\0') return;
  char base[kPathSize];
  char root[kPathSize];
  SafeStrCopy(base, sizeof base, server_root);
  GetServerRoot(base, sizeof base, root, sizeof root);
  for (_COMPONENT_INFO& entry : *this) {
    if ((entry.flags & kComponentResolved) != 0) continue;
    if (!IsInlineData(entry.url)) {
      char path[kPathSize];
      SafeStrCopy(path, sizeof path, entry.url.c_str());
      ResolvePath(path, sizeof path, base, root);
      entry.url = path;
    }
    entry.flags |= kComponentResolved;
  }
}

void CListBase::ReloadReferences(const Catalogue& catalogue, const char* url) {
  if (url == nullptr) return;
  for (_COMPONENT_INFO& entry : *this) {
    if ((entry.flags & kComponentReference) == 0 || !SameLocation(entry.url, url)) continue;
    // The record's name is its section's name in the component's catalogue.
    const std::string section = entry.name;
    if (ReadComponentInfo(catalogue, section.c_str(), &entry, true)) {
      entry.flags &= ~(kComponentReference | kComponentResolved);
    }
  }
}

void CListBase::FillBasePaths(const CListBase& other) {
  for (_COMPONENT_INFO& entry : *this) {
    if ((entry.flags & kComponentBaseInstalled) == 0) continue;
    const ListIndex found = other.FindByIdNamePlatform(entry.category, entry.module, entry.platform,
                                                       kComponentModuleFile);
    if (found != kNoEntry && other[found].build == entry.base) {
      entry.basePath = other[found].localFile;
    }
  }
}
