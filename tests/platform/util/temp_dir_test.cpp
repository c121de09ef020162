#include "platform/util/temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/util/unique_names.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using upd::test::TempDir;
using upd::test::WriteFile;

TEST(CTempDir, MakesAPrivateFolderAndDeletesItWithItsContent) {
  TempDir dir;
  std::string made;
  {
    CTempDir temp(dir.path().c_str());
    ASSERT_NE(temp.Path(), nullptr);
    made = temp.Path();
    EXPECT_TRUE(std::regex_match(made, std::regex(dir.path().string() + "/temp[0-9A-F]{8}")))
        << made;
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0077, 0u) << std::oct << st.st_mode;
    fs::create_directories(made + "/unpack.d");
    WriteFile(made + "/unpack.d/em001.dat", "");
    WriteFile(made + "/zel00000001.nup", "");
  }
  EXPECT_FALSE(fs::exists(made));
}

TEST(CTempDir, CreatesAMissingBase) {
  TempDir dir;
  const std::string base = dir.file("not/yet");
  CTempDir temp(base.c_str());
  ASSERT_NE(temp.Path(), nullptr);
  EXPECT_EQ(fs::path(temp.Path()).parent_path(), fs::path(base));
}

TEST(CTempDir, DefaultsToTheTemporaryFolder) {
  TempDir dir;
  const char* old = getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  {
    CTempDir temp;
    ASSERT_NE(temp.Path(), nullptr);
    EXPECT_EQ(fs::path(temp.Path()).parent_path(), dir.path());
  }
  if (old != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST(CTempDir, NoFolderUnderAFileOrPastThePathSize) {
  TempDir dir;
  WriteFile(dir.file("plain"), "");
  CTempDir under_file(dir.file("plain").c_str());
  EXPECT_EQ(under_file.Path(), nullptr);
  const std::string long_base = dir.path().string() + "/" + std::string(4090, 'b');
  CTempDir too_long(long_base.c_str());
  EXPECT_EQ(too_long.Path(), nullptr);
}

// Scripted name numbers: the first names are taken by folders that belong to
// someone else.
std::vector<unsigned int> g_numbers;
size_t g_next = 0;
unsigned int ScriptedNumber() { return g_numbers[g_next++ % g_numbers.size()]; }

TEST(CTempDir, NeverAdoptsAFolderThatExists) {
  TempDir dir;
  for (const char* taken : {"temp00001234", "temp0000ABCD"}) {
    fs::create_directory(dir.file(taken));
    WriteFile(dir.file(taken) + "/owner.txt", "mine");
  }
  g_numbers = {0x1234, 0xABCD, 0x5678};
  g_next = 0;
  {
    CTempDir temp(dir.path().c_str(), &ScriptedNumber);
    ASSERT_NE(temp.Path(), nullptr);
    EXPECT_EQ(std::string(temp.Path()), dir.file("temp00005678"));
  }
  EXPECT_EQ(g_next, 3u);
  EXPECT_TRUE(fs::exists(dir.file("temp00001234/owner.txt")));
  EXPECT_TRUE(fs::exists(dir.file("temp0000ABCD/owner.txt")));
  EXPECT_FALSE(fs::exists(dir.file("temp00005678")));

  // Every one of the tries taken: no folder, and nothing of the others goes.
  g_numbers = {0x1234};
  g_next = 0;
  {
    CTempDir temp(dir.path().c_str(), &ScriptedNumber);
    EXPECT_EQ(temp.Path(), nullptr);
  }
  EXPECT_EQ(g_next, static_cast<size_t>(kUniqueNameTries));
  EXPECT_TRUE(fs::exists(dir.file("temp00001234/owner.txt")));
}

}  // namespace
