#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/os/os_abort.h"
#include "platform/os/os_error.h"
#include "platform/os/os_poll.h"

namespace {

using Clock = std::chrono::steady_clock;

// An abort from another thread ends a wait that was already running, not
// only the waits that start after it.
TEST(PollAbortFailure, AbortRaisedDuringALongWaitEndsIt) {
  int fds[2] = {-1, -1};
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  for (const int timeout : {-1, 60000}) {
    SCOPED_TRACE(timeout);
    (void)OsExchangeAbortFlag(0);
    OS_POLLSET set;
    OsPollSetAdd(&set, kOsPollRead, fds[0]);
    auto wait = std::async(std::launch::async, [&] {
      const int ready = OsPollSetWait(&set, timeout, nullptr);
      return std::make_pair(ready, OsGetLastError());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto aborted = Clock::now();
    (void)OsExchangeAbortFlag(1);
    ASSERT_EQ(wait.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto [ready, code] = wait.get();
    EXPECT_EQ(ready, 0);
    EXPECT_EQ(code, static_cast<uint32_t>(kOsTimedOut));
    EXPECT_LT(Clock::now() - aborted, std::chrono::seconds(2));
    OsPollSetDestroy(&set);
  }
  (void)OsExchangeAbortFlag(0);
  close(fds[0]);
  close(fds[1]);
}

// Data that arrives during a sliced wait is reported at once.
TEST(PollAbortFailure, ASlicedWaitStillSeesDataArrive) {
  int fds[2] = {-1, -1};
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  OS_POLLSET set;
  OsPollSetAdd(&set, kOsPollRead, fds[0]);
  auto writer = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    return write(fds[1], "x", 1);
  });
  EXPECT_EQ(OsPollSetWait(&set, 30000, nullptr), 1);
  EXPECT_EQ(writer.get(), 1);
  OsPollSetDestroy(&set);
  close(fds[0]);
  close(fds[1]);
}

// A token bound to a thread ends that thread's waits once cancelled, and no
// other thread's: each waits on a pipe, each thread has its own source.
TEST(PollAbortFailure, ACancelledTokenEndsOnlyTheWaitOfItsThread) {
  (void)OsExchangeAbortFlag(0);
  int mine[2] = {-1, -1};
  int other[2] = {-1, -1};
  ASSERT_EQ(pipe2(mine, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(other, O_CLOEXEC), 0);
  CancelSource my_source;
  CancelSource other_source;
  const auto wait_on = [](int fd, const CancelSource& source, int timeout) {
    return std::async(std::launch::async, [fd, &source, timeout] {
      const OsCancelScope scope(source.TokenFromNow());
      OS_POLLSET set;
      OsPollSetAdd(&set, kOsPollRead, fd);
      const auto started = Clock::now();
      const int ready = OsPollSetWait(&set, timeout, nullptr);
      OsPollSetDestroy(&set);
      return std::make_pair(ready, Clock::now() - started);
    });
  };
  auto cancelled = wait_on(mine[0], my_source, 60000);
  auto untouched = wait_on(other[0], other_source, 1000);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  my_source.Raise();
  ASSERT_EQ(cancelled.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const auto [ready, took] = cancelled.get();
  EXPECT_EQ(ready, 0);
  EXPECT_LT(took, std::chrono::seconds(2));
  // The other thread waits its whole time out.
  const auto [other_ready, other_took] = untouched.get();
  EXPECT_EQ(other_ready, 0);
  EXPECT_GE(other_took, std::chrono::milliseconds(950));
  for (const int fd : {mine[0], mine[1], other[0], other[1]}) close(fd);
}

// A token is cancelled by the raises after it was taken, not by earlier
// ones; a scope gives the outer token back when it ends.
TEST(PollAbortFailure, ATokenSeesOnlyLaterRaisesAndScopesNest) {
  CancelSource source;
  source.Raise();
  const CancelToken token = source.TokenFromNow();
  EXPECT_FALSE(token.IsCancelled());
  EXPECT_FALSE(CancelToken().IsCancelled());
  EXPECT_FALSE(OsWaitCancelled());
  {
    const OsCancelScope outer(token);
    EXPECT_FALSE(OsWaitCancelled());
    source.Raise();
    EXPECT_TRUE(token.IsCancelled());
    EXPECT_TRUE(OsWaitCancelled());
    {
      const OsCancelScope inner(source.TokenFromNow());
      EXPECT_FALSE(OsWaitCancelled());
    }
    EXPECT_TRUE(OsWaitCancelled());
  }
  EXPECT_FALSE(OsWaitCancelled());
}

}  // namespace
