#include <algorithm>

#include "platform/util/update_errors.h"
#include "updater/backup/backup_settings.h"
#include "updater/backup/backup_store.h"
#include "updater/backup/file_set_replace.h"

UpdError CBackupStore::RestoreSnapshot(uint32_t block_until) {
  Locked locked(lock_.get());
  std::vector<StoredSnapshot> stored = LoadStored();
  if (stored.empty()) return kUpdNoSnapshot;
  // The oldest; the earlier in the document on a tie. It is told apart from
  // the others by its element, so a timestamp it shares cannot take it away.
  const auto keeper = std::min_element(stored.begin(), stored.end(),
                                       [](const StoredSnapshot& a, const StoredSnapshot& b) {
                                         return a.state.GetTimestamp() < b.state.GetTimestamp();
                                       });

  std::vector<FileReplacement> files;
  for (const UPDATER_BACKUP_MODULE_INFO& module : keeper->state.GetModules()) {
    files.push_back({CopyPath(module.file), modules_folder_ + module.orig});
  }
  const UpdError restored = ReplaceFileSet(files);
  if (restored != kUpdOk) return restored;

  std::vector<_XML_NODE*> others;
  for (const StoredSnapshot& snapshot : stored) {
    if (snapshot.element != keeper->element) others.push_back(snapshot.element);
  }
  static_cast<void>(RemoveElements(others, false));
  if (block_until != 0) static_cast<void>(SetBlockUntil(block_until));
  return kUpdOk;
}
