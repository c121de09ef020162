#pragma once

#include <cstdint>
#include <optional>

#include "platform/util/strings.h"
#include "updater/engine/common/carray.h"
#include "updater/engine/common/component_info.h"

class Catalogue;

// Index into a component list; kNoEntry when nothing matches.
using ListIndex = int32_t;
inline constexpr ListIndex kNoEntry = -1;

// The entry is of this module (ASCII case-insensitive) and platform.
[[nodiscard]] inline bool HasModule(const _COMPONENT_INFO& entry, const char* module,
                                    uint32_t platform) {
  return entry.platform == platform && AsciiStrICmp(entry.module, module) == 0;
}

// A list of component records with the queries and edits of the update run.
// Lists are small enough (hundreds of records) to be scanned linearly. Names
// and module names compare ASCII case-insensitively unless a query says
// otherwise; "module" is the module field, "name" the name field. A start
// index is the first index scanned.
class CListBase : public CArray<_COMPONENT_INFO> {
 public:
  // Queries that pass over dropped entries.
  [[nodiscard]] ListIndex FindByNamePlatformLevelKind(const char* module, uint32_t platform,
                                                      std::optional<int32_t> level,
                                                      uint32_t list_kind,
                                                      ListIndex start = 0) const;
  [[nodiscard]] ListIndex FindByNameAndId(const char* name, uint32_t category,
                                          ListIndex start = 0) const;
  [[nodiscard]] ListIndex FindByNameCategoryBuildBase(const char* name, uint32_t category,
                                                      uint64_t build,
                                                      std::optional<uint32_t> base) const;
  [[nodiscard]] ListIndex FindByModuleBuildBase(const char* module, uint32_t platform,
                                                uint64_t build, std::optional<uint32_t> base) const;
  // Same category, list kind, module, platform, level, base, build and language.
  [[nodiscard]] ListIndex FindMatching(const _COMPONENT_INFO& record) const;
  [[nodiscard]] ListIndex FindByModuleBuild(const char* module, uint32_t platform,
                                            uint64_t build) const;
  [[nodiscard]] ListIndex FindByModuleLevel(const char* module, uint32_t platform,
                                            std::optional<int32_t> level) const;
  [[nodiscard]] ListIndex FindByName(const char* module, uint32_t platform) const;
  // Also requires a flag of mask.
  [[nodiscard]] ListIndex FindByIdNamePlatform(uint32_t category, const char* module,
                                               uint32_t platform, uint32_t mask) const;
  // to_fetch: the first to fetch and not present; else the first selected and
  // not present.
  [[nodiscard]] ListIndex FindFirstPending(bool to_fetch) const;

  // Queries where the caller chooses whether dropped entries count.
  [[nodiscard]] ListIndex FindEngineModule(const char* module, uint32_t platform,
                                           std::optional<int32_t> level, bool count_dropped) const;
  [[nodiscard]] ListIndex FindExact(uint32_t category, const char* module, uint32_t platform,
                                    std::optional<int32_t> level, bool count_dropped) const;

  // Queries that count dropped entries too.
  // The module compares case-sensitively here.
  [[nodiscard]] ListIndex FindByIdNamePlatformFrom(uint32_t category, const char* module,
                                                   uint32_t platform, ListIndex start) const;
  [[nodiscard]] ListIndex FindFirstReference() const;

  // start plus the size of every entry selected for download.
  [[nodiscard]] uint64_t GetSelectedSize(uint64_t start) const;
  // Follows the delta chain in this list from the entry at index (of other
  // when given): at level L = 1 to 9 the first entry of level L whose base is
  // the current build, with the same category, module and platform and not
  // dropped, becomes current. Returns the low 32 bits of the last current
  // build (0 for a bad index) and stores its index through found: an index of
  // this list, or the start index when no delta was followed.
  uint32_t FindDeltaFor(ListIndex index, const CListBase* other, ListIndex* found) const;
  // The first full package (level 0) of the module and platform (in other
  // when given), then as long as one exists any entry of this list of the
  // same module and platform, one level up, based on the current build and
  // not dropped. The low 32 bits of the last build, 0 without a full package.
  [[nodiscard]] uint32_t GetNewestBuild(const char* module, uint32_t platform,
                                        const CListBase* other) const;

  // Sets kComponentDropped on every entry of that category, module, platform, level and
  // list kind.
  void MarkDropped(uint32_t category, const char* module, uint32_t platform,
                   std::optional<int32_t> level, uint32_t list_kind);
  // Clears mask on every entry of the module and platform; returns how many
  // entries matched.
  int64_t ClearFlags(const char* module, uint32_t platform, uint32_t mask);
  // ORs flags into record and then into the not-dropped entry of the same
  // category and name, or appends record when there is none. The list size.
  int64_t AddOrMark(_COMPONENT_INFO& record, uint32_t flags);
  // Reads the catalogue section of every name of the list (split at commas,
  // blanks and tabs, each cut to 127 characters) and adds what is a component
  // or a reference with AddOrMark. The list size.
  int64_t AddFromNameList(const char* names, const Catalogue& catalogue);
  // Makes every url not yet resolved absolute against server_root
  // (inline "data" names stay) and marks it resolved. Nothing for an empty root.
  void ResolvePaths(const char* server_root);
  // Reads again, from catalogue, the section of every reference whose
  // file is url ('\' and '/' alike, ASCII case-insensitive), keeping name
  // and list kind; a read section is no longer a reference or resolved.
  void ReloadReferences(const Catalogue& catalogue, const char* url);
  // Gives every entry with kComponentBaseInstalled the file of the installed
  // module in other that it is based on, as its local path.
  void FillBasePaths(const CListBase& other);

 private:
  template <class Match>
  [[nodiscard]] ListIndex FindFirst(ListIndex start, bool count_dropped, Match match) const;
};
