#pragma once

#include <cstdint>
#include <string>

#include "platform/os/os_file.h"

// An advisory lock (the OS layer's flock) on a lock file, shared or
// exclusive, held until Release or destruction. Every Take opens the file
// anew, so two locks of one process exclude each other as those of two
// processes do; a process that dies lets its locks go. A lock that cannot be
// had therefore tells that its holder is still running.
//
// A holder of the exclusive lock may remove the file. A taker that locked a
// file whose name was removed meanwhile (and perhaps made anew) sees that
// the name no longer leads to its file and opens the name again, so two
// holders never lock two different files.
class CFileLock {
 public:
  enum class Kind : uint8_t { kShared, kExclusive };
  enum class Result : uint8_t {
    kHeld,
    kBusy,    // another holder keeps a lock that excludes this one
    kFailed,  // the file could not be made or opened
  };

  CFileLock() = default;
  ~CFileLock() { Release(); }
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  // Takes the lock on path, creating the file when missing; a busy lock is
  // tried again until wait_ms have passed (0: once). A lock held before is
  // released first.
  [[nodiscard]] Result Take(const char* path, Kind kind, uint32_t wait_ms);
  // Held exclusively: removes the lock file first. Then releases.
  void RemoveAndRelease();
  void Release();
  [[nodiscard]] bool Held() const { return file_ != nullptr; }

 private:
  OS_FILE* file_ = nullptr;
  std::string path_;
  Kind kind_ = Kind::kShared;
};
