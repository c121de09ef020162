#include "platform/os/os_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>
#include <vector>

#include "platform/os/os_thread.h"

namespace {

bool OtherThreadCanLock(OS_MUTEX* mutex) {
  bool locked = false;
  std::thread other([&] {
    if (pthread_mutex_trylock(&mutex->mutex) == 0) {
      locked = true;
      pthread_mutex_unlock(&mutex->mutex);
    }
  });
  other.join();
  return locked;
}

TEST(OsMutex, IsRecursiveAndExcludesOtherThreads) {
  OS_MUTEX* mutex = OsMutexCreate();
  ASSERT_NE(mutex, nullptr);
  OsMutexLock(mutex);
  OsMutexLock(mutex);
  OsMutexLock(mutex);
  EXPECT_FALSE(OtherThreadCanLock(mutex));
  OsMutexUnlock(mutex);
  OsMutexUnlock(mutex);
  EXPECT_FALSE(OtherThreadCanLock(mutex)) << "held until unlocked as often as locked";
  OsMutexUnlock(mutex);
  EXPECT_TRUE(OtherThreadCanLock(mutex));
  OsMutexDestroy(mutex);
  OsMutexDestroy(nullptr);
}

TEST(OsMutex, SerialisesCounters) {
  OS_MUTEX* mutex = OsMutexCreate();
  ASSERT_NE(mutex, nullptr);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        OsMutexLock(mutex);
        counter = counter + 1;
        OsMutexUnlock(mutex);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
  OsMutexDestroy(mutex);
}

TEST(OsMutexDeathTest, UnlockingAMutexNotHeldAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  OS_MUTEX* mutex = OsMutexCreate();
  ASSERT_NE(mutex, nullptr);
  EXPECT_DEATH(OsMutexUnlock(mutex), "");
  OsMutexDestroy(mutex);
}

struct Counted {
  std::atomic<int> calls{0};
  int fail_first = 0;
};

int CountedInit(void* context) {
  auto* counted = static_cast<Counted*>(context);
  const int call = ++counted->calls;
  return call <= counted->fail_first ? 1 : 0;
}

TEST(OsLazyInitOnce, RetriesAfterAFailureAndRunsOnceAfterSuccess) {
  Counted counted;
  counted.fail_first = 2;
  OS_LAZY_INIT record = {false, &CountedInit, nullptr, &counted};
  EXPECT_EQ(OsLazyInitOnce(&record), 1);
  EXPECT_EQ(OsLazyInitOnce(&record), 1);
  EXPECT_EQ(OsLazyInitOnce(&record), 0);
  EXPECT_EQ(OsLazyInitOnce(&record), 0);
  EXPECT_EQ(counted.calls.load(), 3);
}

int SlowInit(void* context) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return CountedInit(context);
}

TEST(OsLazyInitOnce, ConcurrentCallersRunInitOnce) {
  Counted counted;
  OS_LAZY_INIT record = {false, &SlowInit, nullptr, &counted};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] { failures += OsLazyInitOnce(&record); });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(counted.calls.load(), 1);
}

OS_LAZY_INIT g_inner = {false, [](void*) { return 0; }, nullptr, nullptr};

TEST(OsLazyInitOnce, InitMayItselfUseLazyInitAndMutexes) {
  OS_LAZY_INIT outer = {false,
                        [](void*) {
                          OS_MUTEX* m = OsMutexCreate();
                          const int inner = OsLazyInitOnce(&g_inner);
                          OsMutexDestroy(m);
                          return m != nullptr && inner == 0 ? 0 : 1;
                        },
                        nullptr, nullptr};
  EXPECT_EQ(OsLazyInitOnce(&outer), 0);
}

TEST(OsThreadJoin, KeepsTheLow32BitsOfTheExitValue) {
  auto* thread = new OS_THREAD;
  ASSERT_EQ(
      pthread_create(
          &thread->thread, nullptr,
          [](void*) -> void* { return reinterpret_cast<void*>(uintptr_t{0x123456789ABCDEF0}); },
          nullptr),
      0);
  uint32_t exit_value = 0;
  OsThreadJoin(thread, &exit_value);
  EXPECT_EQ(exit_value, 0x9ABCDEF0u);
  auto* quiet = new OS_THREAD;
  ASSERT_EQ(pthread_create(
                &quiet->thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr),
            0);
  OsThreadJoin(quiet, nullptr);
}

}  // namespace
