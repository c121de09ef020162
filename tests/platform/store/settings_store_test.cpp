#include "platform/store/settings_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

// Uses up every descriptor the process may open while it lives, as a busy
// service can, and gives them back afterwards.
class NoFreeDescriptors {
 public:
  NoFreeDescriptors() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit low = saved_;
    low.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 256);
    setrlimit(RLIMIT_NOFILE, &low);
    for (int fd = dup(0); fd >= 0; fd = dup(0)) held_.push_back(fd);
  }
  ~NoFreeDescriptors() {
    for (int fd : held_) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved_);
  }
  NoFreeDescriptors(const NoFreeDescriptors&) = delete;
  NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

 private:
  rlimit saved_{};
  std::vector<int> held_;
};

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStorePtr Open(const std::string& path) {
    return SettingsStorePtr(
        SettingsStoreOpen(("file://" + path).c_str(), kSettingsKindSettings, nullptr));
  }
  upd::test::TempDir dir_;
};

TEST_F(SettingsStoreTest, MissingFileAndFolderAreCreatedByTheFirstSet) {
  const std::string path = dir_.file("no/such/folder/settings.ini");
  SettingsStorePtr store = Open(path);
  ASSERT_NE(store, nullptr);
  uint32_t value = 1;
  EXPECT_FALSE(SettingsStoreGetDword(store.get(), "LastUpdate", &value));
  EXPECT_EQ(value, 0x7FFFFFFFu);
  EXPECT_FALSE(std::filesystem::exists(path)) << "opening writes nothing";
  EXPECT_TRUE(SettingsStoreSetDword(store.get(), "LastUpdate", 1700000000));
  EXPECT_EQ(upd::test::ReadFile(path), "[Settings]\r\nLastUpdate=1700000000\r\n");
}

TEST_F(SettingsStoreTest, SetRewritesTheWholeFileKeepingOtherSections) {
  const std::string path = dir_.file("settings.ini");
  upd::test::WriteFile(path, "[Servers]\nA=http://a/\nB = b\n[settings]\nOld=1\n[Tail]\nz=\"q\"");
  SettingsStorePtr store = Open(path);
  ASSERT_NE(store, nullptr);
  EXPECT_TRUE(SettingsStoreSetDword(store.get(), "Group", 42));
  EXPECT_EQ(upd::test::ReadFile(path),
            "[Servers]\r\nA=http://a/\r\nB = b\r\n[settings]\r\nOld=1\r\nGroup=42\r\n"
            "[Tail]\r\nz=\"q\"\r\n");
  EXPECT_TRUE(SettingsStoreSetString(store.get(), "old", "two words"));
  EXPECT_TRUE(SettingsStoreDeleteValue(store.get(), "GROUP"));
  EXPECT_EQ(upd::test::ReadFile(path),
            "[Servers]\r\nA=http://a/\r\nB = b\r\n[settings]\r\nOld=two words\r\n"
            "[Tail]\r\nz=\"q\"\r\n");
}

TEST_F(SettingsStoreTest, DwordsReadAsStrtollLow32Bits) {
  const std::string path = dir_.file("settings.ini");
  upd::test::WriteFile(path,
                       "[Settings]\nmax=2147483647\nminus=-1\ntext=abc\nbig=4294967295\n"
                       "quoted=\"5\"\nseven=7\n");
  SettingsStorePtr store = Open(path);
  ASSERT_NE(store, nullptr);
  struct Case {
    const char* key;
    bool result;
    uint32_t value;
  };
  const Case cases[] = {
      {"max", false, 0x7FFFFFFFu},   // the marker of a missing value
      {"minus", true, 0xFFFFFFFFu},  //
      {"text", true, 0},             // not a number
      {"big", true, 0xFFFFFFFFu},    //
      {"quoted", true, 0},           // quotes are not removed
      {"SEVEN", true, 7},            //
      {"absent", false, 0x7FFFFFFFu},
  };
  for (const auto& c : cases) {
    uint32_t value = 12345;
    EXPECT_EQ(SettingsStoreGetDword(store.get(), c.key, &value), c.result) << c.key;
    EXPECT_EQ(value, c.value) << c.key;
  }
  uint32_t untouched = 9;
  EXPECT_FALSE(SettingsStoreGetDword(store.get(), nullptr, &untouched));
  EXPECT_FALSE(SettingsStoreGetDword(nullptr, "seven", &untouched));
  EXPECT_EQ(untouched, 9u);
}

TEST_F(SettingsStoreTest, GetStringCutsAndReportsAbsence) {
  const std::string path = dir_.file("settings.ini");
  upd::test::WriteFile(path, "[Settings]\nServer=\"http://example.test/\"\n[Other]\nx=1\n");
  SettingsStorePtr store = Open(path);
  ASSERT_NE(store, nullptr);
  char buffer[32];
  EXPECT_TRUE(SettingsStoreGetString(store.get(), "server", buffer, sizeof(buffer)));
  EXPECT_STREQ(buffer, "\"http://example.test/\"") << "returned as stored";
  EXPECT_TRUE(SettingsStoreGetString(store.get(), "Server", buffer, 6));
  EXPECT_STREQ(buffer, "\"http");
  EXPECT_FALSE(SettingsStoreGetString(store.get(), "x", buffer, sizeof(buffer)));
  EXPECT_STREQ(buffer, "") << "other sections are not the store";
  EXPECT_FALSE(SettingsStoreGetString(store.get(), "server", nullptr, 8));
  EXPECT_FALSE(SettingsStoreGetString(nullptr, "server", buffer, sizeof(buffer)));
}

TEST_F(SettingsStoreTest, DeletingAnAbsentKeyWritesNothing) {
  const std::string path = dir_.file("settings.ini");
  upd::test::WriteFile(path, "[Settings]\nk=1\n");
  SettingsStorePtr store = Open(path);
  ASSERT_NE(store, nullptr);
  EXPECT_FALSE(SettingsStoreDeleteValue(store.get(), "absent"));
  EXPECT_EQ(upd::test::ReadFile(path), "[Settings]\nk=1\n") << "the LF file is not rewritten";
  SettingsStorePtr empty = Open(dir_.file("none.ini"));
  ASSERT_NE(empty, nullptr);
  EXPECT_FALSE(SettingsStoreDeleteValue(empty.get(), "k"));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("none.ini")));
}

TEST_F(SettingsStoreTest, OpenNeedsAFileLocationAndKindOne) {
  const std::string path = dir_.file("settings.ini");
  EXPECT_EQ(SettingsStoreOpen(path.c_str(), kSettingsKindSettings, nullptr), nullptr);
  EXPECT_EQ(SettingsStoreOpen(("file://" + path).c_str(), 2, nullptr), nullptr);
  EXPECT_EQ(SettingsStoreOpen(nullptr, kSettingsKindSettings, nullptr), nullptr);
  SettingsStorePtr store(SettingsStoreOpen(("x-file://" + path).c_str(), 1, nullptr));
  ASSERT_NE(store, nullptr) << "\"file://\" may stand anywhere";
  EXPECT_STREQ(store->file.GetPath(), path.c_str());
  SettingsStoreClose(nullptr);
}

TEST_F(SettingsStoreTest, AFailedSaveIsReportedAndLeavesTheFile) {
  upd::test::WriteFile(dir_.file("blocker"), "x");
  SettingsStorePtr store = Open(dir_.file("blocker/settings.ini"));
  ASSERT_NE(store, nullptr);
  EXPECT_FALSE(SettingsStoreSetDword(store.get(), "k", 1));
  EXPECT_FALSE(SettingsStoreSetString(store.get(), "k", "v"));
  EXPECT_EQ(upd::test::ReadFile(dir_.file("blocker")), "x");
}

TEST_F(SettingsStoreTest, AFileThatCouldNotBeReadIsNeverRewritten) {
  const std::string path = dir_.file("settings.ini");
  const std::string original = "[Servers]\r\nA=http://a/\r\n[Settings]\r\nLastUpdate=5\r\n";
  upd::test::WriteFile(path, original);
  SettingsStorePtr store;
  {
    NoFreeDescriptors exhausted;
    store = Open(path);
  }
  ASSERT_NE(store, nullptr) << "an unreadable file still gives a store";
  uint32_t value = 0;
  EXPECT_FALSE(SettingsStoreGetDword(store.get(), "LastUpdate", &value));
  EXPECT_FALSE(SettingsStoreSetDword(store.get(), "LastUpdateAttempt", 7));
  EXPECT_FALSE(SettingsStoreSetString(store.get(), "Group", "g"));
  EXPECT_EQ(upd::test::ReadFile(path), original) << "values the handle never saw are kept";

  SettingsStorePtr readable = Open(path);
  ASSERT_NE(readable, nullptr);
  EXPECT_TRUE(SettingsStoreSetDword(readable.get(), "LastUpdateAttempt", 7));
  EXPECT_EQ(upd::test::ReadFile(path), original + "LastUpdateAttempt=7\r\n");
}

TEST_F(SettingsStoreTest, TwoHandlesOnOneFileLastWriteWins) {
  const std::string path = dir_.file("settings.ini");
  SettingsStorePtr first = Open(path);
  SettingsStorePtr second = Open(path);
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(SettingsStoreSetDword(first.get(), "a", 1));
  EXPECT_TRUE(SettingsStoreSetDword(second.get(), "b", 2));
  EXPECT_EQ(upd::test::ReadFile(path), "[Settings]\r\nb=2\r\n");
}

}  // namespace
