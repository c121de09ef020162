#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace upd::test {

// A small tmpfs mounted on a folder of a test's own (created when missing)
// and unmounted with the object, for tests of a full disk. Mounting needs
// privileges a test run may lack: callers skip when mounted() is false. The
// unmount is lazy, so a file a failed test left open cannot keep it mounted.
class SmallTmpfs {
 public:
  SmallTmpfs(const std::string& where, const std::string& size) : where_(where) {
    std::filesystem::create_directories(where_);
    mounted_ = mount("tmpfs", where_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) static_cast<void>(umount2(where_.c_str(), MNT_DETACH));
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }

 private:
  std::string where_;
  bool mounted_ = false;
};

}  // namespace upd::test
