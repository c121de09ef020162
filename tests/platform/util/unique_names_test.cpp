#include "platform/util/unique_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using upd::test::TempDir;
using upd::test::WriteFile;

TEST(CreateUniqueFile, CreatesEmptyFilesUnderFreshNames) {
  TempDir dir;
  const std::string format = dir.path().string() + "/new/zel%08X.nup";
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    char buffer[4096];
    ASSERT_TRUE(CreateUniqueFile(format.c_str(), buffer, sizeof buffer));
    EXPECT_TRUE(std::regex_match(buffer, std::regex(".*/new/zel[0-9A-F]{8}\\.nup"))) << buffer;
    EXPECT_TRUE(fs::is_regular_file(buffer));
    EXPECT_EQ(fs::file_size(buffer), 0u);
    names.insert(buffer);
  }
  EXPECT_EQ(names.size(), 20u);
}

TEST(CreateUniqueFile, FailsUnderARegularFileAfterItsTries) {
  TempDir dir;
  WriteFile(dir.file("plain"), "");
  const std::string format = dir.file("plain") + "/x%08X";
  char buffer[4096];
  EXPECT_FALSE(CreateUniqueFile(format.c_str(), buffer, sizeof buffer));
  EXPECT_EQ(fs::file_size(dir.file("plain")), 0u);
}

TEST(CreateUniqueFile, NameThatDoesNotFitIsNotUsed) {
  TempDir dir;
  const std::string format = dir.path().string() + "/x%08X";
  char buffer[8];
  EXPECT_FALSE(CreateUniqueFile(format.c_str(), buffer, sizeof buffer));
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CreateUniqueFolder, FindsAFreeNameAndCreatesNothing) {
  TempDir dir;
  const std::string format = dir.path().string() + "/temp%08X";
  char buffer[4096];
  ASSERT_TRUE(CreateUniqueFolder(format.c_str(), buffer, sizeof buffer));
  EXPECT_TRUE(std::regex_match(buffer, std::regex(".*/temp[0-9A-F]{8}"))) << buffer;
  EXPECT_FALSE(fs::exists(buffer));
  EXPECT_TRUE(fs::is_empty(dir.path()));
  char small[4];
  EXPECT_FALSE(CreateUniqueFolder(format.c_str(), small, sizeof small));
}

}  // namespace
