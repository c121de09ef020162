#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/util/file_lock.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

using Kind = CFileLock::Kind;
using Result = CFileLock::Result;

// A holder killed while it holds the lock lets it go with its life: that is
// how the next taker tells a dead holder from a live one.
TEST(FileLockFailure, AKilledHolderLetsTheLockGo) {
  for (const Kind kind : {Kind::kShared, Kind::kExclusive}) {
    TempDir dir;
    const std::string path = dir.file("install.lock");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(ready[0]);
      CFileLock lock;
      const char held = lock.Take(path.c_str(), kind, 0) == Result::kHeld ? 'h' : 'f';
      if (write(ready[1], &held, 1) != 1) _exit(1);
      pause();
      _exit(0);
    }
    close(ready[1]);
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    close(ready[0]);
    ASSERT_EQ(held, 'h');

    CFileLock lock;
    EXPECT_EQ(lock.Take(path.c_str(), Kind::kExclusive, 0), Result::kBusy);
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(lock.Take(path.c_str(), Kind::kExclusive, 0), Result::kHeld);
  }
}

}  // namespace
}  // namespace upd::test
