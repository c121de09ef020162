#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>

namespace upd::test {

// Caps the size of every file this process writes while the object lives
// (RLIMIT_FSIZE): a write past the cap fails with EFBIG instead of raising
// SIGXFSZ, so code that writes more than the test allows fails with a write
// error the test sees. Start the servers a test needs first: a child
// inherits the cap of the moment it starts.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes) {
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &previous_) != 0) return;
    rlimit cap = previous_;
    cap.rlim_cur = static_cast<rlim_t>(bytes);
    active_ = cap.rlim_cur <= cap.rlim_max && setrlimit(RLIMIT_FSIZE, &cap) == 0;
  }
  ~FileSizeLimit() {
    if (active_) static_cast<void>(setrlimit(RLIMIT_FSIZE, &previous_));
    static_cast<void>(std::signal(SIGXFSZ, previous_handler_));
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  [[nodiscard]] bool active() const { return active_; }

 private:
  rlimit previous_{};
  void (*previous_handler_)(int) = SIG_DFL;
  bool active_ = false;
};

}  // namespace upd::test
