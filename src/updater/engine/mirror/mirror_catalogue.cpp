#include "updater/engine/mirror/mirror_catalogue.h"

#include <cstdio>

#include "platform/os/os_file_ops.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/update_hash.h"
#include "updater/engine/common/component_tables.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/servers/configured_server.h"

namespace {

// Catalogue levels: 0 is the full package, 1 to 9 its deltas.
constexpr int32_t kMaxLevel = 9;
// The update hash the mirror callback gives, in bytes.
constexpr size_t kUpdateHashBytes = 20;
constexpr uint32_t kCatalogueMode = 0644;
// FileMove of a saved catalogue: overwrite, copy when a rename fails, flush.
constexpr uint32_t kSaveMoveFlags = kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveFlushTarget;

std::string Decimal(int64_t value) { return std::to_string(value); }

std::string FileNamePart(const std::string& file) {
  const size_t slash = file.find_last_of("/\\");
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

// The keys that only a module package (categories 3 to 5) or an
// application package (category 1) carries.
bool SetCategoryKeys(CProfileSection& section, const _COMPONENT_INFO& entry) {
  bool ok = true;
  if (entry.category == kCategoryComponent) {
    if (const char* platform = GetComponentPlatformName(entry.platform)) {
      ok &= section.SetValue("platform", platform);
    }
    if (entry.build != 0) {
      ok &= section.SetValue("buildMS", Decimal(static_cast<int64_t>(entry.build >> 32)));
      ok &= section.SetValue("buildLS", Decimal(static_cast<int32_t>(entry.build & 0xFFFFFFFFu)));
    }
    ok &= section.SetValue("agreed", "1");
    return ok;
  }
  if (const char* platform = GetPlatformNameOfId(entry.platform)) {
    ok &= section.SetValue("platform", platform);
  }
  if (entry.build != 0) ok &= section.SetValue("build", Decimal(static_cast<int64_t>(entry.build)));
  ok &= section.SetUInt("versionid", entry.versionId);
  return ok;
}

bool SetCommonKeys(CProfileSection& section, const _COMPONENT_INFO& entry) {
  bool ok = true;
  if (const char* category = GetCategoryName(entry.category)) {
    ok &= section.SetValue("category", category);
  }
  if (entry.language != 0) ok &= section.SetUInt("language", entry.language);
  const struct {
    const char* key;
    const char* value;
  } texts[] = {{"type", entry.module},
               {"version", entry.version},
               {"group", entry.group},
               {"display_name", entry.displayName},
               {"setup", entry.setup}};
  for (const auto& text : texts) {
    if (*text.value != '\0') ok &= section.SetValue(text.key, text.value);
  }
  if (entry.level) ok &= section.SetUInt("level", static_cast<uint32_t>(*entry.level));
  if (entry.base) ok &= section.SetUInt("base", *entry.base);
  if (entry.size) ok &= section.SetUInt("size", *entry.size);
  if (!PackageLocation(entry).empty()) {
    ok &= section.SetValue("file", FileNamePart(PackageLocation(entry)));
  }
  return ok;
}

std::string HexText(const uint8_t* bytes, size_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

}  // namespace

ListIndex FindFirstToWrite(const CListBase& list) {
  for (ListIndex i = 0; i < static_cast<ListIndex>(list.GetSize()); ++i) {
    if ((list[i].flags & kComponentMirrored) != 0 && !IsDropped(list[i])) return i;
  }
  return kNoEntry;
}

void OpenVerForWrite(MirrorVerDocument& document, const std::string& path) {
  document.target = path;
  document.workPath = path + ".new";
  (void)DeleteFileChecked(document.workPath.c_str(), 0);
  document.profile.Init(document.workPath.c_str());
}

UpdError WriteMirrorSections(MirrorVerDocument& document, CListBase& list, uint32_t category) {
  for (_COMPONENT_INFO& entry : list) {
    if (entry.category == category) entry.flags |= kComponentMirrored;
  }
  for (;;) {
    const ListIndex first = FindFirstToWrite(list);
    if (first == kNoEntry) return kUpdOk;
    _COMPONENT_INFO& entry = list[first];
    if (!entry.level) {
      const UpdError result = WriteComponentSection(document, entry);
      if (result != kUpdOk) return result;
      entry.flags &= ~kComponentMirrored;
      continue;
    }
    for (int32_t level = 0; level <= kMaxLevel; ++level) {
      const ListIndex at =
          list.FindExact(entry.category, entry.module, entry.platform, level, false);
      if (at == kNoEntry) break;
      list[at].flags &= ~kComponentMirrored;
      const UpdError result = WriteComponentSection(document, list[at]);
      if (result != kUpdOk) return result;
    }
    entry.flags &= ~kComponentMirrored;
  }
}

UpdError WriteComponentSection(MirrorVerDocument& document, const _COMPONENT_INFO& entry) {
  CProfileSection* section = document.profile.GetOrAddSection(entry.name);
  if (section == nullptr) return kUpdOutOfMemory;
  if (!IsModuleCategory(entry.category) && !IsComponentCategory(entry.category)) {
    return kUpdMirrorPassFailed;
  }
  const bool ok = SetCategoryKeys(*section, entry) && SetCommonKeys(*section, entry);
  return ok ? kUpdOk : kUpdOutOfMemory;
}

UpdError WriteUpdateHash(MirrorVerDocument& document, const char* last_catalogue,
                         const UPDATER_SETTINGS* settings, const MIRROR_SETTINGS* mirror) {
  std::string hash;
  if (IsMirrorUpdateUrl(settings)) {
    hash = ReadUpdateHash(last_catalogue);
    if (hash.empty()) return kUpdNoUpdateHash;
  } else {
    if (mirror == nullptr || mirror->callback == nullptr) return kUpdNoUpdateHash;
    uint8_t bytes[kUpdateHashBytes] = {};
    if (mirror->callback(MIRROR_EVENT_GET_UPDATE_HASH, bytes, mirror->callbackContext) != 0) {
      return kUpdNoUpdateHash;
    }
    hash = HexText(bytes, sizeof bytes);
  }
  if (CProfileSection* section = document.profile.GetOrAddSection("UP_HASH")) {
    (void)section->SetValue("hash", hash);
  }
  return kUpdOk;
}

UpdError MirrorVerHook(MirrorVerDocument&, const MIRROR_SETTINGS*) { return kUpdOk; }

UpdError SaveVer(MirrorVerDocument& document) {
  if (!document.profile.Save(document.workPath.c_str()))
    return static_cast<UpdError>(MapDiskFullError(kUpdWriteFailed));
  const UPD_ERROR moved = FileMove(document.workPath.c_str(), document.target.c_str(), kSaveMoveFlags);
  if (moved == kUpdOk) (void)OsFileSetMode(document.target.c_str(), kCatalogueMode);
  return static_cast<UpdError>(moved);
}
