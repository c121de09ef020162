#pragma once

#include <pthread.h>

#include <cstdint>

// A thread handle (heap record); the library itself starts no thread.
struct OS_THREAD {
  pthread_t thread;
};

// Joins, stores the low 32 bits of the exit value when asked, frees the
// handle. A failed join aborts.
void OsThreadJoin(OS_THREAD* thread, uint32_t* exit_value);
