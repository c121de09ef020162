#include "platform/os/os_time.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(OsTime, IsTheWallClock) {
  const int64_t before = static_cast<int64_t>(time(nullptr));
  const int64_t now = OsTime();
  EXPECT_GE(now, before);
  EXPECT_LE(now, static_cast<int64_t>(time(nullptr)));
}

TEST(OsMonotonic, AdvancesWithTheRawClock) {
  timespec raw{};
  ASSERT_EQ(clock_gettime(CLOCK_MONOTONIC_RAW, &raw), 0);
  const uint64_t raw_us = static_cast<uint64_t>(raw.tv_sec) * 1000000 + raw.tv_nsec / 1000;
  const uint64_t us = OsGetMonotonicMicroseconds();
  EXPECT_GE(us, raw_us);
  EXPECT_LT(us - raw_us, 1000000u);
  const uint64_t ms = OsGetTickCountMs();
  EXPECT_GE(ms, us / 1000);
  EXPECT_LT(ms - us / 1000, 1000u);
}

TEST(OsGetElapsedMs, WrapsAsA32BitDifference) {
  const uint64_t now = OsGetTickCountMs();
  EXPECT_LT(OsGetElapsedMs(now), 1000u);
  EXPECT_GE(OsGetElapsedMs(now + 10), 0xFFFFFFFFu - 10);
  EXPECT_EQ(OsGetElapsedMs(now - 0x100000000ULL), OsGetElapsedMs(now));
}

TEST(OsSleep, SleepsAtLeastTheTime) {
  const auto start = Clock::now();
  OsSleep(150);
  EXPECT_GE(MsSince(start), 150);
  OsSleep(0);
}

void OnAlarm(int) {}

TEST(OsSleep, ResumesAfterSignals) {
  struct sigaction action {};
  action.sa_handler = OnAlarm;  // no SA_RESTART: nanosleep returns EINTR
  struct sigaction old {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &old), 0);
  itimerval every_20ms{{0, 20000}, {0, 20000}};
  ASSERT_EQ(setitimer(ITIMER_REAL, &every_20ms, nullptr), 0);
  const auto start = Clock::now();
  OsSleep(1500);
  const int64_t elapsed = MsSince(start);
  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_GE(elapsed, 1500);
}

TEST(OsTimeGm, AgreesWithPython) {
  struct Case {
    int year, month, day, hour, minute, second;
  };
  const Case cases[] = {{1970, 1, 1, 0, 0, 0},   {2000, 2, 29, 12, 34, 56},
                        {2038, 1, 19, 3, 14, 8}, {2100, 12, 31, 23, 59, 59},
                        {1969, 12, 31, 0, 0, 0}, {2024, 13, 1, 0, 0, 0}};
  std::string args;
  for (const auto& c : cases) {
    args += " " + std::to_string(c.year) + "," + std::to_string(c.month - 1) + "," +
            std::to_string(c.day) + "," + std::to_string(c.hour) + "," + std::to_string(c.minute) +
            "," + std::to_string(c.second);
  }
  // calendar.timegm normalises a month index out of range the way timegm does.
  const char* python = std::getenv("PYTHON3");
  std::string out;
  ASSERT_EQ(
      upd::test::RunCommand(std::string(python != nullptr ? python : "python3") +
                                " -c 'import calendar,sys\nfor a in sys.argv[1:]:\n "
                                "y,m,d,H,M,S=map(int,a.split(\",\"))\n"
                                " y+=m//12; m%=12\n print(calendar.timegm((y,m+1,d,H,M,S)))'" +
                                args,
                            &out),
      0);
  std::istringstream expected(out);
  for (const auto& c : cases) {
    struct tm t {};
    t.tm_year = c.year - 1900;
    t.tm_mon = c.month - 1;
    t.tm_mday = c.day;
    t.tm_hour = c.hour;
    t.tm_min = c.minute;
    t.tm_sec = c.second;
    t.tm_isdst = 1;  // ignored by a UTC conversion
    int64_t want = 0;
    expected >> want;
    int64_t seconds = 0;
    ASSERT_EQ(OsTimeGm(&t, &seconds), 0) << c.year;
    EXPECT_EQ(seconds, want) << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(t.tm_mon, c.month - 1) << "the caller's record is not normalised";
    EXPECT_EQ(OsTimeGm(&t, nullptr), 0);
  }
}

}  // namespace
