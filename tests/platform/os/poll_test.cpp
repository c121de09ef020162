#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/os/os_abort.h"
#include "platform/os/os_error.h"
#include "platform/os/os_poll.h"
#include "platform/os/os_time.h"

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A connected socket pair and a pipe, closed with the test; a poll set
// destroyed with it.
class PollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair_), 0);
    ASSERT_EQ(pipe2(pipe_, O_CLOEXEC), 0);
  }
  void TearDown() override {
    OsPollSetDestroy(&set_);
    for (int fd : {pair_[0], pair_[1], pipe_[0], pipe_[1]}) {
      if (fd >= 0) close(fd);
    }
    (void)OsExchangeAbortFlag(0);
  }

  short Requested(int fd) const { return set_.entries[set_.index.at(fd)].events; }

  int pair_[2] = {-1, -1};
  int pipe_[2] = {-1, -1};
  OS_POLLSET set_;
};

TEST_F(PollTest, OneEntryPerDescriptorWithMergedRequests) {
  OsPollSetAdd(&set_, kOsPollRead, pair_[0]);
  OsPollSetAdd(&set_, kOsPollWrite, pair_[0]);
  OsPollSetAdd(&set_, kOsPollPriority, pipe_[0]);
  OsPollSetAdd(&set_, 3, pipe_[1]);
  ASSERT_EQ(set_.entries.size(), 3u);
  EXPECT_EQ(Requested(pair_[0]), 0x3C5);
  EXPECT_EQ(Requested(pipe_[0]), POLLPRI);
  EXPECT_EQ(Requested(pipe_[1]), 0);

  OsPollSetReset(&set_);
  EXPECT_TRUE(set_.entries.empty());
  EXPECT_TRUE(set_.index.empty());
  OsPollSetAdd(&set_, kOsPollWrite, pair_[1]);
  ASSERT_EQ(set_.entries.size(), 1u);
  EXPECT_EQ(Requested(pair_[1]), 0x304);
}

TEST_F(PollTest, ReadableAndWritableCountTwiceAndTestByKind) {
  ASSERT_EQ(write(pair_[1], "x", 1), 1);
  OsPollSetAdd(&set_, kOsPollRead, pair_[0]);
  OsPollSetAdd(&set_, kOsPollWrite, pair_[0]);
  OsPollSetAdd(&set_, kOsPollRead, pipe_[0]);  // nothing to read here
  EXPECT_EQ(OsPollSetWait(&set_, 1000, nullptr), 2);
  EXPECT_TRUE(OsPollSetTest(&set_, kOsPollRead, pair_[0]));
  EXPECT_TRUE(OsPollSetTest(&set_, kOsPollWrite, pair_[0]));
  EXPECT_FALSE(OsPollSetTest(&set_, kOsPollPriority, pair_[0]));
  EXPECT_FALSE(OsPollSetTest(&set_, 3, pair_[0]));
  EXPECT_FALSE(OsPollSetTest(&set_, kOsPollRead, pipe_[0]));
  EXPECT_FALSE(OsPollSetTest(&set_, kOsPollRead, pair_[1]));  // not in the set
}

TEST_F(PollTest, HangUpCountsAsReadable) {
  close(pipe_[1]);
  pipe_[1] = -1;
  OsPollSetAdd(&set_, kOsPollRead, pipe_[0]);
  EXPECT_EQ(OsPollSetWait(&set_, 1000, nullptr), 1);
  EXPECT_TRUE(OsPollSetTest(&set_, kOsPollRead, pipe_[0]));
  EXPECT_FALSE(OsPollSetTest(&set_, kOsPollWrite, pipe_[0]));
}

TEST_F(PollTest, TimeoutGivesZeroAndCode15) {
  OsPollSetAdd(&set_, kOsPollRead, pipe_[0]);
  OsSetOwnError(kOsOk);
  EXPECT_EQ(OsPollSetWait(&set_, 10, nullptr), 0);
  EXPECT_EQ(OsGetLastError(), kOsTimedOut);
}

TEST_F(PollTest, ClosedDescriptorGivesCode34) {
  OsPollSetAdd(&set_, kOsPollRead, pair_[0]);
  OsPollSetAdd(&set_, kOsPollRead, pipe_[0]);
  close(pipe_[0]);
  pipe_[0] = -1;
  ASSERT_EQ(write(pair_[1], "x", 1), 1);
  EXPECT_EQ(OsPollSetWait(&set_, 1000, nullptr), -1);
  EXPECT_EQ(OsGetLastError(), 34u);
}

TEST_F(PollTest, UsedUpBudgetEndsWithoutPolling) {
  ASSERT_EQ(write(pair_[1], "x", 1), 1);  // ready: a poll would report it
  OsPollSetAdd(&set_, kOsPollRead, pair_[0]);
  OS_WAIT_BUDGET budget;
  budget.started = 1;
  budget.start_ms = OsGetTickCountMs() - 1000;
  EXPECT_EQ(OsPollSetWait(&set_, 500, &budget), 0);
  EXPECT_EQ(OsGetLastError(), kOsTimedOut);
  EXPECT_FALSE(OsPollSetTest(&set_, kOsPollRead, pair_[0]));

  // The same budget with a longer timeout still has time left.
  EXPECT_EQ(OsPollSetWait(&set_, 60000, &budget), 1);
}

TEST_F(PollTest, BudgetStartsOnFirstWaitAndIsSharedByLaterWaits) {
  OsPollSetAdd(&set_, kOsPollRead, pipe_[0]);
  OS_WAIT_BUDGET budget;
  const auto start = Clock::now();
  EXPECT_EQ(OsPollSetWait(&set_, 300, &budget), 0);
  EXPECT_EQ(budget.started, 1);
  EXPECT_EQ(OsPollSetWait(&set_, 300, &budget), 0);
  EXPECT_EQ(OsPollSetWait(&set_, 300, &budget), 0);
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 290);
  EXPECT_LT(elapsed, 2000);  // three waits together are held to one timeout
}

TEST_F(PollTest, AbortFlagShortensEveryWait) {
  OsPollSetAdd(&set_, kOsPollRead, pipe_[0]);
  ASSERT_EQ(OsExchangeAbortFlag(1), 0);
  EXPECT_EQ(OsGetAbortFlag(), 1);
  for (int timeout : {-1, 30000}) {
    SCOPED_TRACE(timeout);
    const auto start = Clock::now();
    EXPECT_EQ(OsPollSetWait(&set_, timeout, nullptr), 0);
    EXPECT_EQ(OsGetLastError(), kOsTimedOut);
    EXPECT_LT(ElapsedMs(start), 2000);
  }
  EXPECT_EQ(OsExchangeAbortFlag(0), 1);
  EXPECT_EQ(OsGetAbortFlag(), 0);
}

}  // namespace
