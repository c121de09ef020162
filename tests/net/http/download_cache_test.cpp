#include "net/http/download_cache.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "platform/util/update_errors.h"
#include "support/temp_dir.h"

namespace {

using upd::test::ReadFile;
using upd::test::WriteFile;
namespace fs = std::filesystem;

constexpr int64_t kMaxAge = CDownloadCache::kMaxAgeSeconds;

class DownloadCacheTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.file("cache"); }

  // A downloaded file to hand to the cache.
  std::string Download(const std::string& content, const std::string& name = "download.tmp") {
    const std::string path = dir_.file(name);
    WriteFile(path, content);
    return path;
  }

  std::string LookupPath(CDownloadCache& cache, const std::string& key) {
    char path[4096] = "stale";
    EXPECT_EQ(cache.Lookup(key, path, sizeof path), kUpdOk) << key;
    return path;
  }

  // Names of the entries of the cache folder.
  std::set<std::string> FolderEntries() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder())) names.insert(e.path().filename());
    return names;
  }

  upd::test::TempDir dir_;
};

TEST_F(DownloadCacheTest, AddMovesTheFileInAndWritesTheIndex) {
  CDownloadCache cache(Folder());
  const std::string source = Download(std::string(1234, 'p'));
  uint64_t size = 0;
  const int64_t before = std::time(nullptr);
  ASSERT_EQ(cache.Add("pkg-1", source.c_str(), &size), kUpdOk);
  const int64_t after = std::time(nullptr);

  EXPECT_EQ(size, 1234u);
  EXPECT_FALSE(fs::exists(source));
  const std::string copy = LookupPath(cache, "pkg-1");
  EXPECT_TRUE(std::regex_match(copy, std::regex(Folder() + "/zel[0-9A-F]{8}\\.nup"))) << copy;
  EXPECT_EQ(ReadFile(copy), std::string(1234, 'p'));

  const std::string index = ReadFile(Folder() + "/index.ini");
  const std::string head = "[pkg-1]\r\nfile=" + copy + "\r\ndate=";
  ASSERT_TRUE(index.starts_with(head)) << index;
  ASSERT_TRUE(index.ends_with("\r\n"));
  const std::string date = index.substr(head.size(), index.size() - head.size() - 2);
  ASSERT_TRUE(std::regex_match(date, std::regex("[0-9]+"))) << date;
  EXPECT_GE(std::stoll(date), before);
  EXPECT_LE(std::stoll(date), after);
}

TEST_F(DownloadCacheTest, ReAddingAKeyReplacesItsCopyUnderANewName) {
  CDownloadCache cache(Folder());
  ASSERT_EQ(cache.Add("pkg", Download("old").c_str(), nullptr), kUpdOk);
  const std::string first = LookupPath(cache, "pkg");
  ASSERT_EQ(cache.Add("pkg", Download("new").c_str(), nullptr), kUpdOk);
  const std::string second = LookupPath(cache, "pkg");

  EXPECT_NE(first, second);
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(ReadFile(second), "new");
  EXPECT_EQ(FolderEntries(),
            (std::set<std::string>{"index.ini", fs::path(second).filename().string()}));
  const std::string index = ReadFile(Folder() + "/index.ini");
  EXPECT_EQ(index.find("[pkg]"), index.rfind("[pkg]"));
}

TEST_F(DownloadCacheTest, LookupAnswersOnlyForKeysWithAFile) {
  CDownloadCache cache(Folder());
  ASSERT_EQ(cache.Add("known", Download("k").c_str(), nullptr), kUpdOk);

  char path[64] = "stale";
  EXPECT_EQ(cache.Lookup("unknown", path, sizeof path), kUpdReadFailed);
  EXPECT_STREQ(path, "");
  EXPECT_EQ(cache.Lookup("unknown", nullptr, 0), kUpdReadFailed);

  // A short buffer gets the path cut; a deleted copy is still reported.
  const std::string full = LookupPath(cache, "known");
  char shortened[8];
  EXPECT_EQ(cache.Lookup("known", shortened, sizeof shortened), kUpdOk);
  EXPECT_EQ(std::string(shortened), full.substr(0, 7));
  fs::remove(full);
  EXPECT_EQ(LookupPath(cache, "known"), full);
}

TEST_F(DownloadCacheTest, RemoveDeletesTheEntryAndItsFile) {
  CDownloadCache cache(Folder());
  ASSERT_EQ(cache.Add("a", Download("a", "a.tmp").c_str(), nullptr), kUpdOk);
  ASSERT_EQ(cache.Add("b", Download("b", "b.tmp").c_str(), nullptr), kUpdOk);
  const std::string copy_a = LookupPath(cache, "a");

  EXPECT_EQ(cache.Remove("a"), kUpdOk);
  EXPECT_EQ(cache.Remove("never-there"), kUpdOk);
  EXPECT_FALSE(fs::exists(copy_a));
  EXPECT_EQ(cache.Lookup("a", nullptr, 0), kUpdReadFailed);
  EXPECT_EQ(ReadFile(Folder() + "/index.ini").find("[a]"), std::string::npos);
  EXPECT_EQ(ReadFile(LookupPath(cache, "b")), "b");
}

TEST_F(DownloadCacheTest, EntriesSurviveAReload) {
  std::string copy;
  {
    CDownloadCache cache(Folder() + "/");
    ASSERT_EQ(cache.Add("kept", Download("kept").c_str(), nullptr), kUpdOk);
    copy = LookupPath(cache, "kept");
  }
  CDownloadCache again(Folder());
  EXPECT_EQ(LookupPath(again, "kept"), copy);
  EXPECT_EQ(again.IndexPath(), Folder() + "/index.ini");
}

TEST_F(DownloadCacheTest, PurgeKeepsOnlyEntriesWithinFourteenDaysOfNow) {
  struct Entry {
    const char* key;
    std::optional<int64_t> age;  // now - date; none: no "date" key
    bool stays;
  };
  const int64_t now = std::time(nullptr);
  const Entry kEntries[] = {
      {"fresh", kMaxAge - 1, true},
      {"near-future", -86400, true},
      {"old", kMaxAge + 1, false},
      {"epoch", now, false},
      {"undated", std::nullopt, false},
      // A few seconds past the bound: Purge reads the clock later than this
      // test, which brings a future date closer.
      {"far-future", -(kMaxAge + 5), false},
      // Half the 32-bit clock away: the difference is the most negative
      // 32-bit number, whose size must not overflow.
      {"half-wrap", int64_t{1} << 31, false},
  };
  fs::create_directories(Folder());
  std::string index;
  for (const Entry& e : kEntries) {
    const std::string copy = Folder() + "/" + e.key + ".nup";
    WriteFile(copy, e.key);
    index += std::string("[") + e.key + "]\r\nfile=" + copy + "\r\n";
    if (e.age.has_value()) index += "date=" + std::to_string(now - *e.age) + "\r\n";
  }
  WriteFile(Folder() + "/index.ini", index);

  CDownloadCache cache(Folder());
  EXPECT_EQ(cache.Purge(), kUpdOk);

  CDownloadCache reloaded(Folder());
  for (const Entry& e : kEntries) {
    SCOPED_TRACE(e.key);
    EXPECT_EQ(fs::exists(Folder() + "/" + e.key + ".nup"), e.stays);
    EXPECT_EQ(reloaded.Lookup(e.key, nullptr, 0), e.stays ? kUpdOk : kUpdReadFailed);
  }
}

TEST_F(DownloadCacheTest, PurgeOfFreshEntriesChangesNothing) {
  CDownloadCache cache(Folder());
  ASSERT_EQ(cache.Add("one", Download("1", "1.tmp").c_str(), nullptr), kUpdOk);
  ASSERT_EQ(cache.Add("two", Download("2", "2.tmp").c_str(), nullptr), kUpdOk);
  const std::string index = ReadFile(Folder() + "/index.ini");
  EXPECT_EQ(cache.Purge(), kUpdOk);
  EXPECT_EQ(ReadFile(Folder() + "/index.ini"), index);
  EXPECT_EQ(FolderEntries().size(), 3u);
}

TEST_F(DownloadCacheTest, MissingAndEmptySourcesAreRefusedAndLeftAlone) {
  CDownloadCache cache(Folder());
  uint64_t size = 99;
  EXPECT_EQ(cache.Add("k", dir_.file("missing").c_str(), &size), kUpdMissing);

  const std::string empty = Download("");
  EXPECT_EQ(cache.Add("k", empty.c_str(), &size), kUpdEmptyFile);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_EQ(cache.Lookup("k", nullptr, 0), kUpdReadFailed);
  EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(DownloadCacheTest, AFolderNameWithPercentSignsIsTakenLiterally) {
  const std::string folder = dir_.file("100%s %n%08X");
  CDownloadCache cache(folder);
  ASSERT_EQ(cache.Add("pct", Download("pct").c_str(), nullptr), kUpdOk);
  char path[4096];
  ASSERT_EQ(cache.Lookup("pct", path, sizeof path), kUpdOk);
  EXPECT_EQ(fs::path(path).parent_path(), fs::path(folder));
  EXPECT_EQ(ReadFile(path), "pct");
}

}  // namespace
