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

}  // namespace
