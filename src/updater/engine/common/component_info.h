#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Category ids of a catalogue section ("category" key).
enum ComponentCategory : uint32_t {
  kCategoryComponent = 1,
  kCategoryPico = 2,
  kCategoryEngine = 3,
  kCategoryDll = 4,
  kCategoryDylib = 5,
};

// The channel a record came from, by its section name's prefix.
enum ComponentListKind : uint32_t {
  kListPlain = 0,
  kListContinuous = 1,   // "CONTINUOUS_"
  kListReverse = 2,      // "REVERSE_"
  kListPreliminary = 3,  // "PRELIMINARY_"
};

// Flags of _COMPONENT_INFO.
inline constexpr uint32_t kComponentHasBuild = 0x1;
// Only a reference: the url field names the component's own catalogue.
inline constexpr uint32_t kComponentReference = 0x2;
// The url field has been made absolute against the server root.
inline constexpr uint32_t kComponentResolved = 0x4;
// The delta's base is an installed module (FillBasePaths copies its path).
inline constexpr uint32_t kComponentBaseInstalled = 0x8;
// Newer than what is installed or held locally.
inline constexpr uint32_t kComponentSelected = 0x100;
inline constexpr uint32_t kComponentPresent = 0x200;
// Dropped: most queries pass over it.
inline constexpr uint32_t kComponentDropped = 0x400;
inline constexpr uint32_t kComponentInstall = 0x800;
inline constexpr uint32_t kComponentFetch = 0x1000;
// The package lies in the local "preliminary" folder.
inline constexpr uint32_t kComponentPreliminaryFolder = 0x2000;
// The record describes an installed module file read through the engine.
inline constexpr uint32_t kComponentModuleFile = 0x4000;
inline constexpr uint32_t kComponentMirrored = 0x20000;
inline constexpr uint32_t kComponentDownloadFailed = 0x40000;

// What a host record, a cache key or a stored file sees for an absent "base",
// "size", "id" or "interval" (and what a catalogue's -1 reads as).
inline constexpr uint32_t kComponentAbsentValue = 0xFFFFFFFFu;

// An optional number as a host or a file sees it.
[[nodiscard]] constexpr uint32_t ValueOrAbsent(std::optional<uint32_t> value) {
  return value.value_or(kComponentAbsentValue);
}
// "level": 0 is a full package, 1 to 9 a delta.
inline constexpr int32_t kLevelFull = 0;

// Module type the scanning engine reports for an engine module.
inline constexpr uint32_t kEngineModuleType = 3;

// One catalogue section, local package or installed module. New records are
// all zero. Text fields hold at most their size less one byte; the five
// paths are owned strings, because a catalogue holds thousands of records.
struct _COMPONENT_INFO {
  uint32_t flags = 0;
  char name[64] = {};  // "name", else the section name (prefix included)
  uint32_t language = 0;
  uint32_t platform = 0;  // platform id; 0 when the category has none
  char module[64] = {};   // "type", else "module"
  char version[32] = {};
  char displayName[128] = {};
  char setup[16] = {};
  uint32_t category = 0;  // ComponentCategory
  uint64_t build = 0;
  char group[256] = {};  // comma list of update-group names
  // Nothing when the section has no level (a component, a pico) or gives -1.
  std::optional<int32_t> level = 0;
  std::optional<uint32_t> base = 0;  // build that a delta applies to
  // The catalogue's "file" (else "basepath"): where the package is fetched
  // from, absolute once kComponentResolved; for a reference, the component's
  // own catalogue. Empty for records read from disk.
  std::string url;
  // The file on disk: the downloaded or held package, or for a module record
  // the installed module file. Empty until there is one.
  std::string localFile;
  std::string filename;    // module file that the package installs
  std::string mirrorPath;  // the package's copy in the mirror's staging folders
  std::string basePath;    // the installed file or package a delta applies to
  std::optional<uint32_t> size = 0;
  uint32_t versionId = 0;
  uint32_t agreed = 0;
  uint32_t engineType = 0;  // module type the engine reports
  uint32_t listKind = 0;    // ComponentListKind
  std::optional<uint32_t> id = 0;        // pico id
  std::optional<uint32_t> interval = 0;  // pico check interval
};

// Flags of _INSTALLED_COMPONENT_INFO.
inline constexpr uint32_t kInstalledUpToDate = 0x2;
inline constexpr uint32_t kInstalledPackageChosen = 0x4;
inline constexpr uint32_t kInstalledInThisRun = 0x8;
inline constexpr uint32_t kInstalledBaseIsModuleFile = 0x10;

// One installed engine module that the catalogue offers.
struct _INSTALLED_COMPONENT_INFO {
  char name[64] = {};
  uint64_t build = 0;
  uint32_t flags = 0;
  uint32_t type = 0;
  uint32_t platform = 0;
  uint32_t chosen = 0;  // index in the update list of the package chosen for it
};

// Where the package is now: on disk once fetched or held, else at its URL.
[[nodiscard]] inline const std::string& PackageLocation(const _COMPONENT_INFO& entry) {
  return entry.localFile.empty() ? entry.url : entry.localFile;
}

// The run's marks on an entry, read and set by name; the bits behind them stay
// internal to this file's readers.
[[nodiscard]] constexpr bool IsDropped(const _COMPONENT_INFO& entry) {
  return (entry.flags & kComponentDropped) != 0;
}
// Newer than what is installed or held: chosen for download.
[[nodiscard]] constexpr bool IsSelected(const _COMPONENT_INFO& entry) {
  return (entry.flags & kComponentSelected) != 0;
}
[[nodiscard]] constexpr bool IsToInstall(const _COMPONENT_INFO& entry) {
  return (entry.flags & kComponentInstall) != 0;
}
// Chosen by the mirror to be copied into its folders.
[[nodiscard]] constexpr bool IsToFetch(const _COMPONENT_INFO& entry) {
  return (entry.flags & kComponentFetch) != 0;
}
// Held on disk, or its download has begun (a failed one stays present).
[[nodiscard]] constexpr bool IsPresent(const _COMPONENT_INFO& entry) {
  return (entry.flags & kComponentPresent) != 0;
}
[[nodiscard]] constexpr bool HasDownloadFailed(const _COMPONENT_INFO& entry) {
  return (entry.flags & kComponentDownloadFailed) != 0;
}

constexpr void MarkDropped(_COMPONENT_INFO& entry) { entry.flags |= kComponentDropped; }
constexpr void MarkSelected(_COMPONENT_INFO& entry) { entry.flags |= kComponentSelected; }
constexpr void MarkToFetch(_COMPONENT_INFO& entry) { entry.flags |= kComponentFetch; }
constexpr void MarkPresent(_COMPONENT_INFO& entry) { entry.flags |= kComponentPresent; }
constexpr void MarkDownloadFailed(_COMPONENT_INFO& entry) {
  entry.flags |= kComponentDownloadFailed;
}
// Selected for download and to be installed.
inline constexpr uint32_t kComponentInstallMarks = kComponentSelected | kComponentInstall;
constexpr void MarkForInstall(_COMPONENT_INFO& entry) { entry.flags |= kComponentInstallMarks; }
constexpr void ClearInstallMarks(_COMPONENT_INFO& entry) { entry.flags &= ~kComponentInstallMarks; }

// Selected and not yet present, or to be fetched; never when dropped.
[[nodiscard]] constexpr bool IsSelectedForDownload(uint32_t flags) {
  if ((flags & kComponentDropped) != 0) return false;
  const uint32_t selected = kComponentSelected | kComponentPresent;
  const uint32_t fetch = kComponentFetch | kComponentPresent;
  return (flags & selected) == kComponentSelected || (flags & fetch) == kComponentFetch;
}
[[nodiscard]] constexpr bool IsSelectedForDownload(const _COMPONENT_INFO& entry) {
  return IsSelectedForDownload(entry.flags);
}
