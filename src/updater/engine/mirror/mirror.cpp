#include "updater/engine/mirror/mirror.h"

#include <cstring>

#include "platform/util/host_bridge.h"
#include "platform/util/host_fields.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/update_folders.h"
#include "updater/engine/package/opened_package.h"
#include "updater/engine/package/package_scan.h"

namespace {

constexpr int32_t kMaxLevel = 9;
// What a mirror's folder scan sets: present, with a build.
constexpr uint32_t kMirrorScanFlags = kComponentHasBuild | kComponentPresent;
constexpr uint32_t kAnyFlag = 0xFFFFFFFFu;

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// folder + part + '/', without the part when the path would not fit.
std::string StagingFolder(const char* update_folder, const char* part) {
  std::string folder = update_folder;
  if (folder.size() + std::char_traits<char>::length(part) + 1 <= UPD_PATH_SIZE) folder += part;
  return WithSlash(folder);
}

}  // namespace

UpdError CMirror::LoadMirrorContents(const MIRROR_SETTINGS* mirror, const char* update_folder) {
  Clear();
  rootFolder_ = WithSlash(HostFieldString(mirror->mirrorFolder));
  dllFolder_ = rootFolder_ + kMirrorDllFolder + '/';
  dylibFolder_ = rootFolder_ + kMirrorDylibFolder + '/';
  FolderScan scan;
  scan.flagsToSet = kMirrorScanFlags;
  scan.skipSignature = true;
  uint32_t found = 0;
  const struct {
    const std::string& folder;
    const char* pattern;
  } folders[] = {{rootFolder_, "*.nup"}, {dllFolder_, "*.dll.nup"}, {dylibFolder_, "*.dylib.nup"}};
  for (const auto& each : folders) {
    scan.pattern = each.pattern;
    found += ScanFolderToList(each.folder.c_str(), &list_, list_.GetSize(), scan);
  }
  if (found == 0) NotifyMirrorError(mirror, kUpdMirrorEmpty);
  if (update_folder != nullptr) {
    tempMirrorFolder_ = StagingFolder(update_folder, kTempMirrorFolder);
    tempMirrorPcuFolder_ = StagingFolder(update_folder, kTempMirrorPcuFolder);
  }
  DropSuperseded();
  return kUpdOk;
}

void CMirror::DropSuperseded() {
  superseded_.assign(static_cast<size_t>(list_.GetSize()), false);
  for (ListIndex i = 0; i < static_cast<ListIndex>(list_.GetSize()); ++i) {
    if (IsDropped(list_[i])) continue;
    ListIndex j = list_.FindByNameAndId(list_[i].name, list_[i].category, i + 1);
    while (j != kNoEntry) {
      const ListIndex loser = list_[i].build > list_[j].build ? j : i;
      MarkDropped(list_[loser]);
      superseded_[static_cast<size_t>(loser)] = true;
      j = list_.FindByNameAndId(list_[i].name, list_[i].category, j + 1);
    }
  }
}

uint32_t CMirror::CompareLists(CListBase& update, CListBase& continuous, CListBase& reverse,
                               CListBase& component, const CListBase& local) {
  ListIndex unused = 0;
  for (ListIndex i = 0; i < static_cast<ListIndex>(update.GetSize()); ++i) {
    const _COMPONENT_INFO& entry = update[i];
    if (entry.level != kLevelFull) continue;
    const ListIndex m = list_.FindByNameAndId(entry.name, entry.category);
    if (m != kNoEntry &&
        list_.FindDeltaFor(m, nullptr, &unused) >= update.FindDeltaFor(i, nullptr, &unused)) {
      continue;
    }
    MarkChanged(update, i);
  }
  for (ListIndex i = 0; i < static_cast<ListIndex>(continuous.GetSize()); ++i) {
    const _COMPONENT_INFO& entry = continuous[i];
    if (IsToFetch(entry)) continue;
    const ListIndex m = list_.FindByNameAndId(entry.name, entry.category);
    // An absent base sorts after every build.
    if (m == kNoEntry || ValueOrAbsent(list_[m].base) < ValueOrAbsent(entry.base)) {
      DropByName(continuous, entry.category, entry.module, entry.platform);
    }
  }
  for (_COMPONENT_INFO& entry : reverse) {
    const ListIndex m = list_.FindByNameAndId(entry.name, entry.category);
    if (m == kNoEntry) {
      MarkToFetch(entry);
    } else if (list_[m].base != entry.base || list_[m].build != entry.build) {
      MarkToFetch(entry);
      MarkDropped(list_[m]);
    }
  }
  for (_COMPONENT_INFO& entry : component) {
    if (entry.category != kCategoryComponent) continue;
    const ListIndex m = list_.FindByNameAndId(entry.name, kCategoryComponent);
    if (m == kNoEntry) {
      MarkToFetch(entry);
    } else if (static_cast<int64_t>(entry.build) > static_cast<int64_t>(list_[m].build)) {
      MarkToFetch(entry);
      MarkDropped(list_[m]);
    }
  }
  const uint32_t count = ResolveFetches(update, continuous, reverse, component, local);
  PlanDrops(update, continuous, reverse, component);
  return count;
}

void CMirror::MarkChanged(CListBase& list, ListIndex index) {
  const _COMPONENT_INFO key = list[index];
  for (int32_t level = 0; level <= kMaxLevel; ++level) {
    const ListIndex s = list.FindExact(key.category, key.module, key.platform, level, false);
    const ListIndex m = list_.FindExact(key.category, key.module, key.platform, level, false);
    if (s == kNoEntry && m == kNoEntry) return;
    if (s != kNoEntry && m != kNoEntry) {
      if (list[s].build != list_[m].build || list[s].base != list_[m].base) {
        MarkToFetch(list[s]);
        MarkDropped(list_[m]);
      }
    } else if (s != kNoEntry) {
      MarkToFetch(list[s]);
    } else {
      MarkDropped(list_[m]);
    }
  }
}

void CMirror::DropByName(CListBase& list, uint32_t category, const char* module,
                         uint32_t platform) {
  for (ListIndex i = static_cast<ListIndex>(list_.GetSize()) - 1; i >= 0; --i) {
    _COMPONENT_INFO& entry = list_[i];
    if (!entry.level && entry.category == category && entry.platform == platform &&
        std::strcmp(entry.module, module) == 0) {
      MarkDropped(entry);
    }
  }
  for (ListIndex i = list.FindByIdNamePlatformFrom(category, module, platform, 0); i != kNoEntry;
       i = list.FindByIdNamePlatformFrom(category, module, platform, i + 1)) {
    MarkToFetch(list[i]);
  }
}

uint32_t CMirror::ResolveFetches(CListBase& update, CListBase& continuous, CListBase& reverse,
                                 CListBase& component, const CListBase& local) {
  uint32_t count = 0;
  for (CListBase* list : {&update, &continuous, &reverse, &component}) {
    for (_COMPONENT_INFO& entry : *list) {
      if (!IsToFetch(entry)) continue;
      ++count;
      const ListIndex found = local.FindMatching(entry);
      if (found == kNoEntry) continue;
      const uint32_t flags = entry.flags | local[found].flags;
      entry = local[found];
      entry.flags = flags;
    }
  }
  return count;
}

void CMirror::PlanDrops(const CListBase& update, const CListBase& continuous,
                        const CListBase& reverse, const CListBase& component) {
  for (_COMPONENT_INFO& entry : list_) {
    if (IsDropped(entry)) continue;
    bool offered = false;
    if (entry.category == kCategoryComponent) {
      offered = component.FindByNameAndId(entry.name, kCategoryComponent) != kNoEntry;
    } else if (entry.category >= kCategoryEngine && entry.category <= kCategoryDylib) {
      const CListBase* lists[] = {&update, &continuous, &reverse};
      if (entry.listKind <= kListReverse) {
        offered = lists[entry.listKind]->FindByIdNamePlatform(entry.category, entry.module,
                                                              entry.platform, kAnyFlag) != kNoEntry;
      }
    }
    if (!offered) MarkDropped(entry);
  }
}

bool CMirror::HasCategory(uint32_t category) const {
  for (const _COMPONENT_INFO& entry : list_) {
    if (entry.category == category && !IsDropped(entry)) return true;
  }
  return false;
}

UpdError CMirror::PostProcess(const MirrorPass&) { return kUpdOk; }

void CMirror::DeleteDroppedFiles() { DeleteSelectedFiles(list_, kComponentDropped); }

void CMirror::Clear() {
  list_.RemoveAll();
  superseded_.clear();
}

ListIndex CMirror::FindMirrorCopy(const _COMPONENT_INFO& entry) const {
  for (ListIndex i = 0; i < static_cast<ListIndex>(superseded_.size()); ++i) {
    const _COMPONENT_INFO& copy = list_[i];
    if (!IsDropped(copy) || superseded_[static_cast<size_t>(i)]) continue;
    if (copy.category != entry.category) continue;
    const bool same = entry.category == kCategoryComponent
                          ? AsciiStrICmp(copy.name, entry.name) == 0
                          : HasModule(copy, entry.module, entry.platform) && copy.level == entry.level;
    if (same) return i;
  }
  return kNoEntry;
}

void CMirror::KeepReplacedCopies(const _COMPONENT_INFO& entry) {
  for (ListIndex i = FindMirrorCopy(entry); i != kNoEntry; i = FindMirrorCopy(entry)) {
    list_[i].flags &= ~kComponentDropped;
  }
}

bool IsPublishablePackage(const char* path) {
  return OpenedPackage::Open(path, PackageRead::kChecked, false).ok();
}
