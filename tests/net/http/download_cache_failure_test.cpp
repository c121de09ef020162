#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "net/http/download_cache.h"
#include "platform/util/update_errors.h"
#include "support/temp_dir.h"

// A cache whose folder, index or source cannot be used as intended.
namespace {

using upd::test::WriteFile;
namespace fs = std::filesystem;

bool HasCopies(const std::string& folder) {
  if (!fs::exists(folder)) return false;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().starts_with("zel")) return true;
  }
  return false;
}

TEST(DownloadCacheFailure, AMoveThatFailsLeavesNoPlaceholderBehind) {
  upd::test::TempDir dir;
  const std::string folder = dir.file("cache");
  // A folder opens for reading but cannot be moved over a file.
  const std::string source = dir.file("a-folder");
  fs::create_directories(source + "/inside");
  CDownloadCache cache(folder);

  const UPD_ERROR result = cache.Add("k", source.c_str(), nullptr);
  EXPECT_NE(result, kUpdOk);
  EXPECT_NE(result, kUpdMissing);
  EXPECT_FALSE(HasCopies(folder));
  EXPECT_EQ(cache.Lookup("k", nullptr, 0), kUpdReadFailed);
  EXPECT_TRUE(fs::exists(source + "/inside"));
}

TEST(DownloadCacheFailure, AnIndexThatCannotBeSavedIs0x1016) {
  upd::test::TempDir dir;
  const std::string folder = dir.file("cache");
  fs::create_directories(folder + "/index.ini");
  const std::string source = dir.file("download.tmp");
  WriteFile(source, "data");
  CDownloadCache cache(folder);

  EXPECT_EQ(cache.Add("k", source.c_str(), nullptr), kUpdOpenFailed);
  EXPECT_TRUE(fs::is_directory(folder + "/index.ini"));
}

TEST(DownloadCacheFailure, AFolderThatCannotBeMadeGivesNoUniqueName) {
  upd::test::TempDir dir;
  const std::string blocker = dir.file("plain-file");
  WriteFile(blocker, "not a folder");
  const std::string source = dir.file("download.tmp");
  WriteFile(source, "data");
  CDownloadCache cache(blocker + "/cache");

  EXPECT_EQ(cache.Add("k", source.c_str(), nullptr), kUpdNoUniqueName);
  EXPECT_TRUE(fs::exists(source));
}

}  // namespace
