#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os/os_file_info.h"
#include "platform/os/os_folder.h"
#include "updater.h"

// Iterates over the entries of one folder that match a pattern: the pattern
// selects through the OS search, the text after its last '*' must end each
// name, and a non-zero mask keeps only entries with one of its attribute
// bits. "." and ".." are skipped.
//
//   for (const char* path : CFileFinder(folder, "*.pic", kOsAttrRegular)) ...
class CFileFinder {
 public:
  // The finder itself is its iterator: begin and end both lead to it.
  class Iterator {
   public:
    explicit Iterator(CFileFinder* finder) : finder_(finder) {}
    bool operator!=(const Iterator&) const { return finder_->NotAtEnd(); }
    Iterator& operator++() {
      finder_->Next();
      return *this;
    }
    const char* operator*() const { return finder_->Path(); }

   private:
    CFileFinder* finder_;
  };

  CFileFinder(const char* folder, const char* pattern, uint32_t mask);
  ~CFileFinder();
  CFileFinder(const CFileFinder&) = delete;
  CFileFinder& operator=(const CFileFinder&) = delete;

  Iterator begin() { return Iterator(this); }
  Iterator end() { return Iterator(this); }
  bool NotAtEnd() const { return !at_end_; }
  void Next();

  // Full path, name and information of the current entry.
  const char* Path() const { return path_; }
  const char* Name() const { return path_ + name_offset_; }
  const OS_FILE_INFO& Info() const { return info_; }

 private:
  bool Accepts(const char* name, const OS_FILE_INFO& info) const;

  OS_FIND* search_ = nullptr;
  char path_[UPD_PATH_SIZE] = {};
  size_t name_offset_ = 0;
  size_t name_room_ = 0;
  OS_FILE_INFO info_{};
  char suffix_[UPD_PATH_SIZE] = {};
  size_t suffix_length_ = 0;
  uint32_t mask_ = 0;
  bool at_end_ = true;
};
