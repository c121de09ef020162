#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/store/profile_file.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// Downloaded files kept under random names ("zel%08X.nup") in one folder,
// indexed by "index.ini" in the same folder: one section per cache key with
// "file" (the full path of the copy) and "date" (seconds since 1970). The
// index owns the copies: removing an entry deletes its file. Every change is
// saved at once. Used by the download session's thread only; no lock.
class CDownloadCache {
 public:
  static constexpr const char* kIndexName = "index.ini";
  static constexpr const char* kFilePattern = "zel%08X.nup";
  // Entries further than this from now (either way) are purged: 14 days.
  static constexpr int64_t kMaxAgeSeconds = 1209600;

  // Loads the index of folder; a missing index is an empty one.
  explicit CDownloadCache(std::string_view folder);
  CDownloadCache(const CDownloadCache&) = delete;
  CDownloadCache& operator=(const CDownloadCache&) = delete;

  // Moves source_path into the cache under key, replacing (and deleting) an
  // older copy of that key; size receives the source's size.
  [[nodiscard]] UpdError Add(std::string_view key, const char* source_path, uint64_t* size);
  // Copies the cached file's path (cut to size) into buffer: 0, or kUpdReadFailed
  // when the key has no file. Whether the file still exists is not checked.
  [[nodiscard]] UpdError Lookup(std::string_view key, char* buffer, size_t size) const;
  // Deletes the entry and its file; failures are not reported.
  UpdError Remove(std::string_view key);
  // Removes every entry whose date is missing or more than kMaxAgeSeconds
  // away from now.
  UpdError Purge();

  [[nodiscard]] const std::string& IndexPath() const { return index_path_; }

 private:
  [[nodiscard]] UpdError Store(std::string_view key, const char* path);
  void DeleteEntry(std::string_view key);

  std::string folder_;
  std::string index_path_;
  CProfileFile index_;
};
