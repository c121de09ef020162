#include "platform/util/folder_cleanup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "support/temp_dir.h"
#include "platform/util/host_binding.h"

namespace {

namespace fs = std::filesystem;
using upd::test::TempDir;
using upd::test::WriteFile;

TEST(DeleteFolder, DottedNamesGoOthersStay) {
  TempDir dir;
  const std::string folder = dir.file("work");
  fs::create_directory(folder);
  WriteFile(folder + "/a.txt", "a");
  WriteFile(folder + "/README", "r");
  EXPECT_EQ(DeleteFolder(folder.c_str(), true), -1);
  EXPECT_FALSE(fs::exists(folder + "/a.txt"));
  EXPECT_TRUE(fs::exists(folder + "/README"));
}

TEST(DeleteFolder, RecursesIntoDottedFolders) {
  TempDir dir;
  const std::string folder = dir.file("work");
  fs::create_directories(folder + "/sub.d/deeper.d");
  WriteFile(folder + "/sub.d/x.nup", "");
  WriteFile(folder + "/sub.d/deeper.d/y.ver", "");
  WriteFile(folder + "/top.ini", "");
  EXPECT_EQ(DeleteFolder(folder.c_str(), true), 0);
  EXPECT_FALSE(fs::exists(folder));

  // Without removeSelf the folder stays, emptied of what matched.
  fs::create_directories(folder + "/plain");
  WriteFile(folder + "/z.tmp", "");
  WriteFile(folder + "/.hidden.tmp", "");
  EXPECT_EQ(DeleteFolder((folder + "/").c_str(), false), 0);
  EXPECT_TRUE(fs::exists(folder + "/plain"));
  EXPECT_TRUE(fs::exists(folder + "/.hidden.tmp"));
  EXPECT_FALSE(fs::exists(folder + "/z.tmp"));
}

TEST(DeleteFolder, MissingFolder) {
  TempDir dir;
  EXPECT_EQ(DeleteFolder(dir.file("none").c_str(), false), 0);
  EXPECT_EQ(DeleteFolder(dir.file("none").c_str(), true), -1);
  EXPECT_EQ(DeleteFolder(nullptr, true), -1);
}

// A link inside the folder is removed as a link: the folder it points at
// keeps its files.
TEST(DeleteFolder, NeverFollowsLinks) {
  TempDir dir;
  const std::string victim = dir.file("victim");
  fs::create_directory(victim);
  WriteFile(victim + "/keep.txt", "k");
  const std::string folder = dir.file("work");
  fs::create_directory(folder);
  fs::create_directory_symlink(victim, folder + "/link.d");
  fs::create_symlink(dir.file("gone.txt"), folder + "/dangling.lnk");
  EXPECT_EQ(DeleteFolder(folder.c_str(), true), 0);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::exists(victim + "/keep.txt"));
}

// Pattern characters in the folder's own name are taken literally: "upd[1]"
// must neither miss its own files nor select those of "upd1".
TEST(DeleteFolder, FolderNamesWithPatternCharacters) {
  TempDir dir;
  for (const char* name : {"upd[1]", "upd*", "upd?"}) {
    const std::string folder = dir.file(name);
    fs::create_directory(folder);
    WriteFile(folder + "/own.txt", "");
  }
  fs::create_directory(dir.file("upd1"));
  WriteFile(dir.file("upd1/other.txt"), "");
  for (const char* name : {"upd[1]", "upd*", "upd?"}) {
    EXPECT_EQ(DeleteFolder(dir.file(name).c_str(), true), 0) << name;
    EXPECT_FALSE(fs::exists(dir.file(name))) << name;
  }
  EXPECT_TRUE(fs::exists(dir.file("upd1/other.txt")));
}

class ContextFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string update = dir_.file("data/updfiles/");
    const std::string modules = dir_.file("modules/");
    fs::create_directories(update);
    fs::create_directories(modules);
    SafeStrCopy(context_.updateFolder, sizeof context_.updateFolder, update.c_str());
    SafeStrCopy(context_.modulesFolder, sizeof context_.modulesFolder, modules.c_str());
  }
  std::string Update(const std::string& name) const { return context_.updateFolder + name; }
  std::string Modules(const std::string& name) const { return context_.modulesFolder + name; }

  TempDir dir_;
  HostBinding context_;
};

TEST_F(ContextFolders, CleanTempFolderKeepsTheFolder) {
  WriteFile(Update("upd.ver"), "");
  fs::create_directories(Update("continuous"));
  WriteFile(Update("continuous/a.nup"), "");
  EXPECT_EQ(CleanTempFolder(&context_), 0);
  EXPECT_TRUE(fs::is_directory(context_.updateFolder));
  EXPECT_FALSE(fs::exists(Update("upd.ver")));
  EXPECT_TRUE(fs::exists(Update("continuous/a.nup")));  // a name without a dot
}

TEST_F(ContextFolders, CleanSubFoldersRemovesThem) {
  fs::create_directories(Update("continuous"));
  WriteFile(Update("continuous/a.nup"), "");
  fs::create_directories(Update("tempMirror"));
  WriteFile(Update("tempMirror/zel00000001.nup"), "");
  WriteFile(Update("keep.ver"), "");
  EXPECT_EQ(CleanContinuousFolder(&context_), 0);
  EXPECT_EQ(CleanTempMirrorFolder(&context_), 0);
  EXPECT_FALSE(fs::exists(Update("continuous")));
  EXPECT_FALSE(fs::exists(Update("tempMirror")));
  EXPECT_TRUE(fs::exists(Update("keep.ver")));
  EXPECT_EQ(CleanTempMirrorFolder(&context_), -1);
}

TEST_F(ContextFolders, CleanModulesFolder) {
  fs::create_directories(Modules("Modules"));
  WriteFile(Modules("Modules/em001.dat"), "");
  WriteFile(Modules("em001.dat.old"), "");
  WriteFile(Modules("em017.dat.old"), "");
  WriteFile(Modules("em001.dat"), "");
  WriteFile(Modules("other.dat.old"), "");
  EXPECT_EQ(CleanModulesFolder(&context_), 0u);
  EXPECT_FALSE(fs::exists(Modules("Modules")));
  EXPECT_FALSE(fs::exists(Modules("em001.dat.old")));
  EXPECT_FALSE(fs::exists(Modules("em017.dat.old")));
  EXPECT_TRUE(fs::exists(Modules("em001.dat")));
  EXPECT_TRUE(fs::exists(Modules("other.dat.old")));

  // Without a "Modules" folder the old copies still go, but the result says
  // that the folder removal failed.
  WriteFile(Modules("em002.dat.old"), "");
  EXPECT_EQ(CleanModulesFolder(&context_), 0x1021u);
  EXPECT_FALSE(fs::exists(Modules("em002.dat.old")));
}

}  // namespace
