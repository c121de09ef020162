#pragma once

#include <cstdint>
#include <ctime>

// Seconds since 1970.
[[nodiscard]] int64_t OsTime();
// Monotonic clock (raw when available); aborts when no monotonic clock works.
[[nodiscard]] uint64_t OsGetMonotonicMicroseconds();
[[nodiscard]] uint64_t OsGetTickCountMs();
// Milliseconds since start (a tick count), as a wrapping 32-bit difference.
[[nodiscard]] uint32_t OsGetElapsedMs(uint64_t start);

// Converts a UTC broken-down time; 0 (storing seconds when given) or -1.
[[nodiscard]] int OsTimeGm(const struct tm* broken_down, int64_t* seconds);

// Sleeps the whole time, resuming after signals; any other failure aborts.
void OsSleep(uint32_t milliseconds);
