#include "platform/os/os_time.h"

#include <cerrno>
#include <cstdlib>

int64_t OsTime() { return static_cast<int64_t>(time(nullptr)); }

uint64_t OsGetMonotonicMicroseconds() {
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC_RAW, &now) != 0 && clock_gettime(CLOCK_MONOTONIC, &now) != 0)
    std::abort();
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

uint64_t OsGetTickCountMs() { return OsGetMonotonicMicroseconds() / 1000u; }

uint32_t OsGetElapsedMs(uint64_t start) {
  return static_cast<uint32_t>(OsGetTickCountMs() - start);
}

int OsTimeGm(const struct tm* broken_down, int64_t* seconds) {
  struct tm work {};
  work.tm_sec = broken_down->tm_sec;
  work.tm_min = broken_down->tm_min;
  work.tm_hour = broken_down->tm_hour;
  work.tm_mday = broken_down->tm_mday;
  work.tm_mon = broken_down->tm_mon;
  work.tm_year = broken_down->tm_year;
  work.tm_wday = broken_down->tm_wday;
  work.tm_yday = broken_down->tm_yday;
  work.tm_isdst = broken_down->tm_isdst;
  const time_t value = timegm(&work);
  if (value == static_cast<time_t>(-1)) return -1;
  if (seconds != nullptr) *seconds = static_cast<int64_t>(value);
  return 0;
}

void OsSleep(uint32_t milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  timespec remaining{};
  while (nanosleep(&wait, &remaining) != 0) {
    if (errno != EINTR) std::abort();
    wait = remaining;
  }
}
