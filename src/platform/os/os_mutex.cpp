#include "platform/os/os_mutex.h"

#include <cstdlib>
#include <new>

namespace {

pthread_mutexattr_t g_recursive_attr;

int MakeRecursiveAttr(void*) {
  if (pthread_mutexattr_init(&g_recursive_attr) != 0) return 1;
  if (pthread_mutexattr_settype(&g_recursive_attr, PTHREAD_MUTEX_RECURSIVE) != 0) {
    pthread_mutexattr_destroy(&g_recursive_attr);
    return 1;
  }
  return 0;
}

// The attribute lives until the process ends, so this is never called.
void DestroyRecursiveAttr(void*) { pthread_mutexattr_destroy(&g_recursive_attr); }

OS_LAZY_INIT g_attr_init = {false, &MakeRecursiveAttr, &DestroyRecursiveAttr, nullptr};

// Recursive, so that an init function may itself use lazy initialisation
// (making a mutex does) without deadlocking.
pthread_mutex_t g_lazy_init_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

}  // namespace

OS_MUTEX* OsMutexCreate() {
  if (OsLazyInitOnce(&g_attr_init) != 0) return nullptr;
  auto* mutex = new (std::nothrow) OS_MUTEX;
  if (mutex == nullptr) return nullptr;
  if (pthread_mutex_init(&mutex->mutex, &g_recursive_attr) != 0) {
    delete mutex;
    return nullptr;
  }
  return mutex;
}

void OsMutexLock(OS_MUTEX* mutex) {
  if (pthread_mutex_lock(&mutex->mutex) != 0) std::abort();
}

void OsMutexUnlock(OS_MUTEX* mutex) {
  if (pthread_mutex_unlock(&mutex->mutex) != 0) std::abort();
}

void OsMutexDestroy(OS_MUTEX* mutex) {
  if (mutex == nullptr) return;
  if (pthread_mutex_destroy(&mutex->mutex) != 0) std::abort();
  delete mutex;
}

int OsLazyInitOnce(OS_LAZY_INIT* record) {
  if (record->done.load(std::memory_order_acquire)) return 0;
  if (pthread_mutex_lock(&g_lazy_init_lock) != 0) std::abort();
  int result = 0;
  if (!record->done.load(std::memory_order_relaxed)) {
    result = record->init(record->context) == 0 ? 0 : 1;
    if (result == 0) record->done.store(true, std::memory_order_release);
  }
  if (pthread_mutex_unlock(&g_lazy_init_lock) != 0) std::abort();
  return result;
}
