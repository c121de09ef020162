#include "updater/backup/backup_store.h"

#include <algorithm>
#include <new>
#include <optional>
#include <set>
#include <utility>

#include "platform/os/os_file_ops.h"
#include "platform/os/os_folder.h"
#include "platform/os/os_time.h"
#include "platform/store/xml_file.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/backup/backup_database.h"
#include "updater/backup/backup_settings.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder;
}

// The current time as the settings file keeps it.
uint32_t Now32() { return static_cast<uint32_t>(OsTime()); }

}  // namespace

CBackupStore::CBackupStore(std::string database_path, std::string backup_folder,
                           std::string modules_folder)
    : lock_(OsMutexCreate()),
      database_path_(std::move(database_path)),
      backup_folder_(std::move(backup_folder)),
      modules_folder_(WithSlash(std::move(modules_folder))),
      config_path_(WithSlash(backup_folder_) + "config.xml") {
  if (lock_ == nullptr) throw std::bad_alloc();
  static_cast<void>(OsCreateFolderTree(backup_folder_.c_str()));
  if (!ReadBackupSettings(config_path_.c_str())) {
    BACKUP_SETTINGS defaults;
    static_cast<void>(LoadPluginRecord(&defaults, nullptr));
    static_cast<void>(SaveBackupSettings(config_path_.c_str(), defaults));
  }
  OpenDatabase(false);
  if (!IsDatabaseCurrent(document_.get(), root_)) EmptyOutdatedDatabase();
}

bool CBackupStore::OpenDatabase(bool fresh) {
  Locked locked(lock_.get());
  document_.reset();
  root_ = nullptr;
  if (!fresh && FileExists(database_path_.c_str())) {
    XmlDocumentPtr loaded;
    if (MemStoreLoadFile(&loaded, database_path_.c_str(), kBackupXmlDepth) == kXmlOk) {
      document_ = std::move(loaded);
      root_ = MemStoreGetRoot(document_.get());
      return root_ != nullptr;
    }
  }
  document_ = NewBackupDatabase();
  root_ = MemStoreGetRoot(document_.get());
  return root_ != nullptr;
}

bool CBackupStore::SaveDatabase() {
  Locked locked(lock_.get());
  if (document_ == nullptr || root_ == nullptr) return false;
  return MemStoreSaveFile(document_.get(), root_, database_path_.c_str()) == kXmlOk;
}

// A database of an older version is not trusted: its snapshots go with their
// copies, and a new empty one of the current version replaces it.
void CBackupStore::EmptyOutdatedDatabase() {
  std::vector<_XML_NODE*> elements;
  for (const StoredSnapshot& stored : LoadStored()) elements.push_back(stored.element);
  static_cast<void>(RemoveElements(elements, false));
  OpenDatabase(true);
  static_cast<void>(SaveDatabase());
}

std::vector<CBackupStore::StoredSnapshot> CBackupStore::LoadStored() const {
  std::vector<StoredSnapshot> stored;
  if (root_ == nullptr) return stored;
  for (_XML_NODE* element : SnapshotElements(root_)) {
    stored.push_back({element, ReadSnapshotElement(document_.get(), element)});
  }
  return stored;
}

bool CBackupStore::RemoveElements(const std::vector<_XML_NODE*>& elements, bool keep_copies) {
  if (elements.empty()) return true;
  std::vector<std::string> files;
  for (_XML_NODE* element : elements) {
    const CBackupState state = ReadSnapshotElement(document_.get(), element);
    for (const UPDATER_BACKUP_MODULE_INFO& module : state.GetModules()) {
      files.push_back(module.file);
    }
    static_cast<void>(MemStoreRemoveNode(document_.get(), element));
  }
  if (!SaveDatabase()) return false;
  if (!keep_copies) DeleteUnusedCopies(files);
  return true;
}

std::vector<UPDATER_BACKUP_MODULE_INFO> CBackupStore::HeldModules() const {
  std::vector<UPDATER_BACKUP_MODULE_INFO> held;
  for (const StoredSnapshot& stored : LoadStored()) {
    held.insert(held.end(), stored.state.GetModules().begin(), stored.state.GetModules().end());
  }
  return held;
}

bool CBackupStore::IsCopyInUse(const std::string& file) const {
  const std::vector<UPDATER_BACKUP_MODULE_INFO> held = HeldModules();
  return std::any_of(held.begin(), held.end(),
                     [&](const UPDATER_BACKUP_MODULE_INFO& module) { return module.file == file; });
}

std::string CBackupStore::CopyPath(const std::string& file) const {
  return WithSlash(backup_folder_) + file;
}

uint32_t CBackupStore::NextTimestamp(uint32_t now) const {
  std::set<uint32_t> taken;
  for (const StoredSnapshot& stored : LoadStored()) taken.insert(stored.state.GetTimestamp());
  if (taken.empty() || now > *taken.rbegin()) return now;
  if (*taken.rbegin() != UINT32_MAX) return *taken.rbegin() + 1;
  // No later second is left: any free one keeps the snapshots apart.
  uint32_t timestamp = now;
  while (taken.count(timestamp) != 0) ++timestamp;
  return timestamp;
}

void CBackupStore::DeleteUnusedCopies(const std::vector<std::string>& files) {
  for (const std::string& file : std::set<std::string>(files.begin(), files.end())) {
    if (!IsCopyInUse(file)) static_cast<void>(OsFileDelete(CopyPath(file).c_str(), nullptr));
  }
}

UpdError CBackupStore::RemoveOldest(uint64_t keep) {
  Locked locked(lock_.get());
  std::vector<StoredSnapshot> stored = LoadStored();
  std::vector<_XML_NODE*> oldest;
  while (keep < stored.size()) {
    const auto first = std::min_element(stored.begin(), stored.end(),
                                        [](const StoredSnapshot& a, const StoredSnapshot& b) {
                                          return a.state.GetTimestamp() < b.state.GetTimestamp();
                                        });
    oldest.push_back(first->element);
    stored.erase(first);
  }
  static_cast<void>(RemoveElements(oldest, false));
  return kUpdOk;
}

UpdError CBackupStore::PruneSnapshots(bool keep_copies) {
  Locked locked(lock_.get());
  static_cast<void>(RemoveElements(
      root_ != nullptr ? SnapshotElements(root_) : std::vector<_XML_NODE*>{}, keep_copies));
  return kUpdOk;
}

UpdError CBackupStore::RemoveSnapshot(uint32_t timestamp, bool keep_copies) {
  Locked locked(lock_.get());
  if (root_ == nullptr) return kUpdNotFound;
  for (_XML_NODE* element : SnapshotElements(root_)) {
    if (SnapshotTimestamp(document_.get(), element) == timestamp) {
      static_cast<void>(RemoveElements({element}, keep_copies));
      return kUpdOk;
    }
  }
  return kUpdNotFound;
}

void CBackupStore::RemoveSnapshotAndFiles(uint32_t timestamp) {
  static_cast<void>(RemoveSnapshot(timestamp, false));
}

UpdError CBackupStore::LoadSnapshots(CBackupStateArray* snapshots) {
  Locked locked(lock_.get());
  for (StoredSnapshot& stored : LoadStored()) snapshots->Add(stored.state);
  return kUpdOk;
}

size_t CBackupStore::GetSnapshotCount() {
  Locked locked(lock_.get());
  return root_ != nullptr ? SnapshotElements(root_).size() : 0;
}

bool CBackupStore::IsSnapshotDue(int64_t days) {
  const std::optional<BACKUP_SETTINGS> settings = ReadBackupSettings(config_path_.c_str());
  if (!settings) return false;
  if (settings->LastBackupTime == 0xFFFFFFFF) return true;
  // Days far beyond any clock make the next snapshot never due by time; the
  // bound only keeps the sum below from overflowing.
  const int64_t bound = INT64_MAX / 4 / kSecondsPerDay;
  const int64_t interval = std::clamp<int64_t>(days, -bound, bound) * kSecondsPerDay;
  if (int64_t{settings->LastBackupTime} + interval < int64_t{Now32()}) return true;
  return GetSnapshotCount() == 0;
}

bool CBackupStore::GetBlockedUntil(uint32_t* until) {
  if (until != nullptr) *until = 0;
  const std::optional<BACKUP_SETTINGS> settings = ReadBackupSettings(config_path_.c_str());
  if (!settings || settings->ReenableUpdateTime == 0) return false;
  if (until != nullptr) *until = settings->ReenableUpdateTime;
  return settings->ReenableUpdateTime > Now32();
}

bool CBackupStore::IsUpdateBlocked() { return GetBlockedUntil(nullptr); }

UpdError CBackupStore::SetBlockUntil(uint32_t time) {
  return ChangeBackupSettings(config_path_.c_str(), [time](BACKUP_SETTINGS& settings) {
    settings.ReenableUpdateTime = time;
  });
}

UpdError CBackupStore::ClearBlock() { return SetBlockUntil(0); }

std::unique_ptr<CBackupStore> OpenBackupStore(const char* data_folder, const char* modules_folder) {
  if (data_folder == nullptr || *data_folder == '\0' || modules_folder == nullptr) return nullptr;
  const std::string backup_folder = WithSlash(data_folder) + "backup";
  std::string database_path = backup_folder + "/db.xml";
  // The longest path the store makes itself; copies and parked modules have
  // names of their own and are checked where they are made.
  if (backup_folder.size() + sizeof "/config.xml" > UPD_PATH_SIZE ||
      database_path.size() >= UPD_PATH_SIZE) {
    return nullptr;
  }
  return std::make_unique<CBackupStore>(std::move(database_path), backup_folder, modules_folder);
}
