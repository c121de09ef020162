#pragma once

#include <pthread.h>

#include <atomic>

// Recursive mutexes; a failed lock, unlock or destroy aborts the process.
struct OS_MUTEX {
  pthread_mutex_t mutex;
};

// Null when the mutex cannot be made (no last error is set).
[[nodiscard]] OS_MUTEX* OsMutexCreate();
void OsMutexLock(OS_MUTEX* mutex);
void OsMutexUnlock(OS_MUTEX* mutex);
// Accepts null.
void OsMutexDestroy(OS_MUTEX* mutex);

// Lazy initialisation that a failure does not settle: the next caller runs
// init again. init returns 0 on success. Usable as a static aggregate:
//   OS_LAZY_INIT g_init = {false, &Init, nullptr, nullptr};
struct OS_LAZY_INIT {
  std::atomic<bool> done;
  int (*init)(void* context);
  void (*cleanup)(void* context);
  void* context;
};

// 0 when init has succeeded (now or before), 1 when it failed now.
[[nodiscard]] int OsLazyInitOnce(OS_LAZY_INIT* record);
