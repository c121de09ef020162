#include "platform/util/file_finder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using upd::test::TempDir;
using upd::test::WriteFile;

Names Find(const std::string& folder, const char* pattern, uint32_t mask) {
  Names names;
  CFileFinder finder(folder.c_str(), pattern, mask);
  for (const char* path : finder) {
    EXPECT_EQ(std::string(path), folder + "/" + finder.Name());
    names.push_back(finder.Name());
  }
  return names;
}

class FileFinder : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"1.pic", "2.pic", "3_new.pic", "a.txt", ".hidden.pic"}) {
      WriteFile(dir_.file(name), "");
    }
    fs::create_directory(dir_.file("12345"));
    fs::create_directory(dir_.file("sub.pic"));
  }
  std::string folder() const { return dir_.path().string(); }

  TempDir dir_;
};

TEST_F(FileFinder, PatternMaskAndSuffix) {
  const struct {
    const char* pattern;
    uint32_t mask;
    Names names;
  } kCases[] = {
      {"*.pic", kOsAttrRegular, {"1.pic", "2.pic", "3_new.pic"}},
      {"*.pic", 0, {"1.pic", "2.pic", "3_new.pic", "sub.pic"}},
      {"*", kOsAttrDirectory, {"12345", "sub.pic"}},
      {"*", 0, {"1.pic", "12345", "2.pic", "3_new.pic", "a.txt", "sub.pic"}},
      {"*_new.pic", kOsAttrRegular, {"3_new.pic"}},
      {"a.txt", 0, {"a.txt"}},
      // The text after the last '*' must end the name literally.
      {"*.p?c", 0, {}},
      {"*.none", 0, {}},
  };
  for (const auto& c : kCases) EXPECT_EQ(Find(folder(), c.pattern, c.mask), c.names) << c.pattern;
}

TEST_F(FileFinder, InfoOfTheCurrentEntry) {
  WriteFile(dir_.file("sized.dat"), std::string(1234, 'x'));
  CFileFinder finder(folder().c_str(), "sized.dat", 0);
  ASSERT_TRUE(finder.NotAtEnd());
  EXPECT_EQ(finder.Info().size, 1234u);
  EXPECT_NE(finder.Info().attributes & kOsAttrRegular, 0u);
  finder.Next();
  EXPECT_FALSE(finder.NotAtEnd());
  finder.Next();
  EXPECT_FALSE(finder.NotAtEnd());
}

TEST(FileFinderEdges, FolderNameIsTakenLiterally) {
  TempDir dir;
  fs::create_directory(dir.file("p[1]"));
  fs::create_directory(dir.file("p1"));
  WriteFile(dir.file("p[1]/own.pic"), "");
  WriteFile(dir.file("p1/other.pic"), "");
  EXPECT_EQ(Find(dir.file("p[1]"), "*.pic", 0), Names{"own.pic"});
}

TEST(FileFinderEdges, MissingFolderAndOverlongPattern) {
  TempDir dir;
  EXPECT_TRUE(Find(dir.file("none"), "*", 0).empty());
  const std::string long_folder = dir.path().string() + "/" + std::string(4080, 'd');
  CFileFinder finder(long_folder.c_str(), "*.pic", 0);
  EXPECT_FALSE(finder.NotAtEnd());
  CFileFinder null_folder(nullptr, "*", 0);
  EXPECT_FALSE(null_folder.NotAtEnd());
}

}  // namespace
