#pragma once

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace upd::test {

// A small tmpfs mounted on a folder of a test's own (created when missing)
// and unmounted with the object, for tests of a full disk. Mounting needs
// privileges a test run may lack: callers skip when mounted() is false.
class SmallTmpfs {
 public:
  SmallTmpfs(const std::string& where, const std::string& size) : where_(where) {
    std::filesystem::create_directories(where_);
    mounted_ =
        RunCommand("mount -t tmpfs -o size=" + size + " tmpfs '" + where_ + "' 2>/dev/null") == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) static_cast<void>(RunCommand("umount '" + where_ + "'"));
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }

 private:
  std::string where_;
  bool mounted_ = false;
};

}  // namespace upd::test
