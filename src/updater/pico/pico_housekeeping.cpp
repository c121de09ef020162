// Tidying of the pico root: expired and stale files, and the folders that a
// backup rollback moves aside.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/os/os_file_ops.h"
#include "platform/os/os_time.h"
#include "platform/util/file_finder.h"
#include "platform/util/strings.h"
#include "platform/util/text_helpers.h"
#include "platform/util/unique_names.h"
#include "platform/util/update_errors.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/pico/pico_files.h"
#include "updater/pico/pico_manager.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRollbackMarker = "_rollback";
constexpr char kRollbackSuffixFormat[] = "_%08X";

// Names of every entry of the root (hidden ones included); empty when the
// root cannot be read.
std::vector<std::string> RootEntries(const std::string& root) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  return names;
}

// Deletes a file or a folder tree; links are removed, never followed.
bool DeleteEntry(const std::string& path) {
  std::error_code error;
  fs::remove_all(path, error);
  return !error;
}

bool IsPicoFolderName(const std::string& name) {
  uint32_t id = 0;
  return ParseDecimal(name.c_str(), &id);
}

// "%" of a path must reach snprintf as "%%" in a name format.
std::string EscapeFormat(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    escaped += c;
    if (c == '%') escaped += '%';
  }
  return escaped;
}

bool Rename(const std::string& from, const std::string& to) {
  return OsFileRename(from.c_str(), nullptr, to.c_str(), nullptr, 0) == 0;
}

bool IsAnnounced(SETTINGS_STORE* store, const std::string& name, int64_t now) {
  uint32_t id = 0;
  if (!ParseDecimal(name.c_str(), &id)) return false;
  char key[64];
  SafeSnprintf(key, sizeof key, kKeyPicoLastAppearedFormat, id);
  uint32_t last = 0;
  if (!SettingsStoreGetDword(store, key, &last)) return false;
  return int64_t{last} + kPicoExpirySeconds >= now;
}

}  // namespace

UpdError CPicoManager::PurgeExpired(const UPDATER_SETTINGS* settings) {
  return PurgeExpiredAt(settings, OsTime());
}

UpdError CPicoManager::PurgeExpiredAt(const UPDATER_SETTINGS* settings, int64_t now) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (store == nullptr) return kUpdSettingsUnreadable;
  bool deleted = true;
  for (const std::string& name : RootEntries(root_)) {
    if (IsAnnounced(store.get(), name, now)) continue;
    if (!DeleteEntry(root_ + name)) deleted = false;
  }
  return deleted ? kUpdOk : kUpdWriteFailed;
}

UpdError CPicoManager::ClearFolder() {
  bool deleted = true;
  for (const std::string& name : RootEntries(root_)) {
    if (!DeleteEntry(root_ + name)) deleted = false;
  }
  return deleted ? kUpdOk : kUpdWriteFailed;
}

UpdError CPicoManager::PurgeStaleFiles() {
  Lock lock(lock_);
  for (const auto& [id, entry] : entries_) {
    const std::string folder = PicoFolder(id);
    for (CFileFinder finder(folder.c_str(), kPicoFilePattern, kOsAttrRegular); finder.NotAtEnd();
         finder.Next()) {
      const std::optional<uint32_t> n = PicoFileNumber(finder.Name());
      if (n && *n >= entry.first) continue;
      // A file that stays is deleted again by the next tidy-up.
      static_cast<void>(OsFileDelete(finder.Path(), nullptr));
    }
  }
  return kUpdOk;
}

UpdError CPicoManager::RecoverRollbacks() {
  bool moved = true;
  for (const std::string& name : RootEntries(root_)) {
    const size_t marker = name.find(kRollbackMarker);
    if (IsPicoFolderName(name) || marker == std::string::npos) continue;
    if (!Rename(root_ + name, root_ + name.substr(0, marker))) moved = false;
  }
  return moved ? kUpdOk : kUpdMoveFailed;
}

UpdError CPicoManager::MoveAllToRollback() {
  bool moved = true;
  for (const std::string& name : RootEntries(root_)) {
    if (!IsPicoFolderName(name)) continue;
    const std::string format =
        EscapeFormat(root_ + name) + std::string(kRollbackMarker) + kRollbackSuffixFormat;
    char target[UPD_PATH_SIZE];
    if (!CreateUniqueFolder(format.c_str(), target, sizeof target) ||
        !Rename(root_ + name, target)) {
      moved = false;
    }
  }
  return moved ? kUpdOk : kUpdMoveFailed;
}
