#include "platform/store/profile_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace {

class ProfileCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { ProfileCacheClear(); }
  void TearDown() override { ProfileCacheClear(); }

  std::string Ini(const std::string& name, const std::string& content) {
    const std::string path = dir_.file(name);
    upd::test::WriteFile(path, content);
    return path;
  }

  upd::test::TempDir dir_;
};

constexpr char kFill = '#';

// What ProfileGetString leaves: the result and the buffer up to and with its
// NUL; the bytes after it must still be the fill.
struct Read {
  uint32_t result;
  std::string text;
  bool operator==(const Read&) const = default;
};

Read GetString(const char* key, const char* fallback, uint32_t size, const std::string& path) {
  char buffer[64];
  std::memset(buffer, kFill, sizeof(buffer));
  const uint32_t result = ProfileGetString("s", key, fallback, buffer, size, path.c_str());
  const void* nul = std::memchr(buffer, '\0', size);
  EXPECT_NE(nul, nullptr) << key << " size " << size << ": no NUL within the buffer";
  const size_t length = nul ? static_cast<const char*>(nul) - buffer : size;
  for (size_t i = size; i < sizeof(buffer); ++i) EXPECT_EQ(buffer[i], kFill) << "wrote past size";
  return {result, std::string(buffer, length)};
}

TEST_F(ProfileCacheTest, GetStringQuotingFittingAndDefaults) {
  const std::string path =
      Ini("a.ini", "[s]\nq=\"abc\"\nlong=abcdef\none=\"\nhalf=\"ab\nin=a\"b\"\nempty=\n");
  struct Case {
    const char* key;
    const char* fallback;
    uint32_t size;
    Read expected;
  };
  const Case cases[] = {
      {"q", nullptr, 8, {3, "abc"}},           // quotes removed
      {"q", nullptr, 4, {3, "abc"}},           // size n - 1 is enough once unquoted
      {"q", nullptr, 3, {1, "\""}},            // too short: size - 2, cut raw
      {"long", nullptr, 7, {6, "abcdef"}},     // fits
      {"long", nullptr, 6, {4, "abcd"}},       // does not fit: size - 2
      {"long", nullptr, 4, {2, "ab"}},         //
      {"long", nullptr, 2, {1, "a"}},          // size 2: the first character
      {"one", nullptr, 8, {0, ""}},            // a lone quote reads empty
      {"half", nullptr, 8, {3, "\"ab"}},       // not closed: kept as is
      {"in", nullptr, 8, {4, "a\"b\""}},       // must begin with a quote too
      {"empty", "dflt", 8, {0, ""}},           // a stored empty value wins
      {"absent", "dflt", 8, {4, "dflt"}},      // default
      {"absent", "\"dq\"", 8, {4, "\"dq\""}},  // defaults keep their quotes
      {"absent", "default", 4, {3, "def"}},    // cut default: size - 1
      {"absent", nullptr, 8, {0, ""}},         // no default: empty
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetString(c.key, c.fallback, c.size, path), c.expected) << c.key << " " << c.size;
  }
  char buffer[8] = "keep";
  EXPECT_EQ(ProfileGetString(nullptr, "q", "d", buffer, 8, path.c_str()), 0u);
  EXPECT_EQ(ProfileGetString("s", nullptr, "d", buffer, 8, path.c_str()), 0u);
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(GetString("q", "dflt", 8, dir_.file("missing.ini")), (Read{4, "dflt"}));
}

TEST_F(ProfileCacheTest, GetSectionListsPairsAndEndsWithinTheBuffer) {
  const std::string path = Ini("a.ini", "[s]\na=1\nbb=22\n[e]\n[A]\nx=9\n");
  char buffer[64];
  std::memset(buffer, kFill, sizeof(buffer));
  EXPECT_EQ(ProfileGetSection("S", buffer, 64, path.c_str()), 10u);
  EXPECT_EQ(std::string(buffer, 11), std::string("a=1\0bb=22\0\0", 11));

  // Room for "a=1" only: the count is size - 2, the list stays closed.
  for (uint32_t size : {5u, 6u, 9u, 10u}) {
    std::memset(buffer, kFill, sizeof(buffer));
    EXPECT_EQ(ProfileGetSection("s", buffer, size, path.c_str()), size - 2) << size;
    EXPECT_EQ(std::string(buffer, 5), std::string("a=1\0\0", 5)) << size;
    for (size_t i = size; i < sizeof(buffer); ++i) ASSERT_EQ(buffer[i], kFill) << size;
  }
  std::memset(buffer, kFill, sizeof(buffer));
  EXPECT_EQ(ProfileGetSection("s", buffer, 4, path.c_str()), 2u);
  EXPECT_EQ(buffer[0], '\0') << "nothing fits: an empty list";
  EXPECT_EQ(ProfileGetSection("e", buffer, 64, path.c_str()), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(ProfileGetSection("none", buffer, 64, path.c_str()), 0u);
  EXPECT_EQ(ProfileGetSection(nullptr, buffer, 64, path.c_str()), 0u);
}

TEST_F(ProfileCacheTest, GetIntAndTheFirstOfTwoSections) {
  const std::string path = Ini("a.ini", "[A]\nn=-7\nt=x\n[a]\nn=5\nm=1\n");
  EXPECT_EQ(ProfileGetInt("a", "n", 3, path.c_str()), -7);
  EXPECT_EQ(ProfileGetInt("A", "t", 3, path.c_str()), 0);
  EXPECT_EQ(ProfileGetInt("A", "m", 3, path.c_str()), 3) << "only the first section is seen";
  EXPECT_EQ(ProfileGetInt(nullptr, "n", 3, path.c_str()), 3);
  EXPECT_EQ(ProfileGetInt("A", "n", 3, nullptr), 3);
  EXPECT_EQ(ProfileGetInt("A", "n", 3, dir_.file("missing").c_str()), 3);
}

TEST_F(ProfileCacheTest, CachedContentStaysUntilRemovedOrCleared) {
  const std::string path = Ini("c.ini", "[s]\nk=1\n");
  EXPECT_EQ(ProfileGetInt("s", "k", 0, path.c_str()), 1);
  upd::test::WriteFile(path, "[s]\nk=2\n");
  EXPECT_EQ(ProfileGetInt("s", "k", 0, path.c_str()), 1) << "edits on disk are not seen";
  ProfileCacheRemoveFile(path.c_str());
  EXPECT_EQ(ProfileGetInt("s", "k", 0, path.c_str()), 2);
  upd::test::WriteFile(path, "[s]\nk=3\n");
  ProfileCacheClear();
  EXPECT_EQ(ProfileGetInt("s", "k", 0, path.c_str()), 3);
  upd::test::WriteFile(path, "[s]\nk=4\n");
  EXPECT_TRUE(ProfileWriteString(nullptr, nullptr, nullptr, path.c_str()));
  EXPECT_EQ(ProfileGetInt("s", "k", 0, path.c_str()), 4) << "three nulls forget the file";
}

TEST_F(ProfileCacheTest, EntriesMatchPathsWithoutRegardToCase) {
  const std::string path = Ini("Mixed.ini", "[s]\nk=1\n");
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ProfileLockGuard lock;
  CProfileFile* file = ProfileCacheGetFile(path.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ProfileCacheGetFile(upper.c_str()), file);
  EXPECT_EQ(ProfileCacheGetFile(nullptr), nullptr);
}

TEST_F(ProfileCacheTest, MissingFileIsRetriedAndWritesCreateIt) {
  const std::string path = dir_.file("new/sub/w.ini");
  EXPECT_EQ(ProfileGetInt("s", "k", -2, path.c_str()), -2);
  {
    ProfileLockGuard lock;
    CProfileFile* file = ProfileCacheGetFile(path.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->IsLoaded());
  }
  EXPECT_FALSE(ProfileWriteString("s", "k", nullptr, path.c_str()));
  EXPECT_TRUE(ProfileWriteString("s", "k", "5", path.c_str()));
  EXPECT_TRUE(ProfileWriteString("s", "j", "\"q\"", path.c_str()));
  EXPECT_TRUE(ProfileWriteString("t", "k", "6", path.c_str()));
  EXPECT_EQ(upd::test::ReadFile(path), "[s]\r\nk=5\r\nj=\"q\"\r\n[t]\r\nk=6\r\n");
  {
    ProfileLockGuard lock;
    CProfileFile* file = ProfileCacheGetFile(path.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->IsLoaded()) << "reloaded from the file just written";
    EXPECT_EQ(file->GetSectionCount(), 2u);
  }
  EXPECT_FALSE(ProfileWriteString(nullptr, "k", "v", path.c_str()));
  EXPECT_FALSE(ProfileWriteString("s", nullptr, nullptr, path.c_str()));
  EXPECT_EQ(ProfileGetInt("t", "k", 0, path.c_str()), 6) << "refused writes change nothing";

  // Once a missing file appears on disk, the next lookup loads it.
  const std::string later = dir_.file("later.ini");
  EXPECT_EQ(ProfileGetInt("s", "k", -1, later.c_str()), -1);
  upd::test::WriteFile(later, "[s]\nk=8\n");
  EXPECT_EQ(ProfileGetInt("s", "k", -1, later.c_str()), 8);
}

TEST_F(ProfileCacheTest, WriteReportsAFailedSave) {
  upd::test::WriteFile(dir_.file("blocker"), "x");
  const std::string path = dir_.file("blocker/w.ini");
  EXPECT_FALSE(ProfileWriteString("s", "k", "v", path.c_str()));
}

TEST_F(ProfileCacheTest, AFileThatCannotBeReadIsNotWrittenFromNothing) {
  // Behind a write-only descriptor the file exists and can be written but not
  // read; writing a key must not replace what the cache could not see.
  const std::string path = Ini("wo.ini", "[s]\r\nkeep=1\r\n");
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const std::string fd_path = "/dev/fd/" + std::to_string(fd);
  EXPECT_FALSE(ProfileWriteString("s", "k", "v", fd_path.c_str()));
  close(fd);
  EXPECT_EQ(upd::test::ReadFile(path), "[s]\r\nkeep=1\r\n");
}

TEST_F(ProfileCacheTest, TheLockIsRecursiveAndExcludesOtherThreads) {
  const std::string path = Ini("l.ini", "[s]\nk=1\n");
  std::atomic<bool> started{false};
  std::atomic<bool> done{false};
  std::thread reader;
  {
    ProfileLockGuard outer;
    ProfileLockGuard inner;
    EXPECT_EQ(ProfileGetInt("s", "k", 0, path.c_str()), 1) << "taken again by its holder";
    reader = std::thread([&] {
      started = true;
      EXPECT_EQ(ProfileGetInt("s", "k", 0, path.c_str()), 1);
      done = true;
    });
    while (!started) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done) << "another thread must wait for the holder";
  }
  reader.join();
  EXPECT_TRUE(done);
}

}  // namespace
