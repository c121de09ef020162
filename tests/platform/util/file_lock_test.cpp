#include "platform/util/file_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;
using Kind = CFileLock::Kind;
using Result = CFileLock::Result;

// Two locks of one process on one file, as two contexts of one host take them.
struct LockPair {
  const char* name;
  Kind first;
  Kind second;
  Result expected;
};

class FileLockPairTest : public ::testing::TestWithParam<LockPair> {};

TEST_P(FileLockPairTest, SharedLocksMeetAndAnExclusiveOneExcludesEveryOther) {
  TempDir dir;
  const std::string path = dir.file("install.lock");
  CFileLock first;
  CFileLock second;
  ASSERT_EQ(first.Take(path.c_str(), GetParam().first, 0), Result::kHeld);
  EXPECT_EQ(second.Take(path.c_str(), GetParam().second, 0), GetParam().expected);
  EXPECT_EQ(second.Held(), GetParam().expected == Result::kHeld);
  first.Release();
  EXPECT_EQ(second.Take(path.c_str(), GetParam().second, 0), Result::kHeld);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, FileLockPairTest,
    ::testing::Values(LockPair{"SharedThenShared", Kind::kShared, Kind::kShared, Result::kHeld},
                      LockPair{"SharedThenExclusive", Kind::kShared, Kind::kExclusive,
                               Result::kBusy},
                      LockPair{"ExclusiveThenShared", Kind::kExclusive, Kind::kShared,
                               Result::kBusy},
                      LockPair{"ExclusiveThenExclusive", Kind::kExclusive, Kind::kExclusive,
                               Result::kBusy}),
    [](const ::testing::TestParamInfo<LockPair>& info) { return info.param.name; });

TEST(FileLock, AWaitingTakeGetsTheLockOnceItsHolderLetsGo) {
  TempDir dir;
  const std::string path = dir.file("install.lock");
  CFileLock holder;
  ASSERT_EQ(holder.Take(path.c_str(), Kind::kExclusive, 0), Result::kHeld);
  auto waiter = std::async(std::launch::async, [&] {
    CFileLock lock;
    return lock.Take(path.c_str(), Kind::kShared, 60000);
  });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  holder.Release();
  EXPECT_EQ(waiter.get(), Result::kHeld);
}

TEST(FileLock, OnlyTheExclusiveHolderRemovesTheFile) {
  TempDir dir;
  const std::string path = dir.file("install.lock");
  CFileLock lock;
  ASSERT_EQ(lock.Take(path.c_str(), Kind::kShared, 0), Result::kHeld);
  lock.RemoveAndRelease();
  EXPECT_FALSE(lock.Held());
  EXPECT_TRUE(fs::exists(path));
  ASSERT_EQ(lock.Take(path.c_str(), Kind::kExclusive, 0), Result::kHeld);
  lock.RemoveAndRelease();
  EXPECT_FALSE(fs::exists(path));
}

// A waiter that outlives the removal of the file ends up holding the file the
// name leads to; one left on the removed file would exclude nobody.
TEST(FileLock, AWaiterThatOutlivesTheRemovalLocksTheFileOthersFind) {
  TempDir dir;
  const std::string path = dir.file("install.lock");
  CFileLock remover;
  ASSERT_EQ(remover.Take(path.c_str(), Kind::kExclusive, 0), Result::kHeld);
  auto waiter = std::async(std::launch::async, [&] {
    auto lock = std::make_unique<CFileLock>();
    const Result result = lock->Take(path.c_str(), Kind::kExclusive, 60000);
    return std::pair{result, std::move(lock)};
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  remover.RemoveAndRelease();
  auto [result, held] = waiter.get();
  ASSERT_EQ(result, Result::kHeld);
  CFileLock next;
  EXPECT_EQ(next.Take(path.c_str(), Kind::kShared, 0), Result::kBusy);
  EXPECT_TRUE(fs::exists(path));
}

TEST(FileLock, ALockFileThatCannotBeMadeFails) {
  TempDir dir;
  CFileLock lock;
  EXPECT_EQ(lock.Take(dir.file("missing/install.lock").c_str(), Kind::kExclusive, 1000),
            Result::kFailed);
  EXPECT_FALSE(lock.Held());
}

}  // namespace
}  // namespace upd::test
