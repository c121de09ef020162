#include "platform/os/os_thread.h"

#include <cstdlib>

void OsThreadJoin(OS_THREAD* thread, uint32_t* exit_value) {
  void* value = nullptr;
  if (pthread_join(thread->thread, &value) != 0) std::abort();
  if (exit_value != nullptr) {
    *exit_value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  }
  delete thread;
}
