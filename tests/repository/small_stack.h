#pragma once

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>

namespace upd::test {

// Runs work on a thread with a 64 KiB stack, where recursion per nesting
// level of a document would overflow long before 100,000 levels. Check
// results after the call, on the test's own thread.
inline void RunOnSmallStack(const std::function<void()>& work) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 64 * 1024), 0);
  pthread_t thread;
  auto entry = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, entry, const_cast<std::function<void()>*>(&work)), 0);
  pthread_attr_destroy(&attr);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

}  // namespace upd::test
