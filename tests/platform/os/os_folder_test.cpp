#include "platform/os/os_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/os/os_error.h"
#include "support/temp_dir.h"

namespace {

using upd::test::TempDir;
using upd::test::WriteFile;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(OsCreateFolderTree, CreatesMissingParents) {
  TempDir dir;
  const std::string x = dir.file("x");
  ASSERT_EQ(mkdir(x.c_str(), 0755), 0);
  EXPECT_EQ(OsCreateFolderTree((x + "/y/z").c_str()), 0);
  EXPECT_EQ(OsGetLastError(), 0u);
  EXPECT_TRUE(IsFolder(x + "/y"));
  EXPECT_TRUE(IsFolder(x + "/y/z"));
  EXPECT_EQ(OsCreateFolderTree((x + "/a/b/c/").c_str()), 0);
  EXPECT_TRUE(IsFolder(x + "/a/b/c"));
}

TEST(OsCreateFolderTree, ExistingEntriesSucceedWithCode20) {
  TempDir dir;
  EXPECT_EQ(OsCreateFolderTree(dir.path().c_str()), 0);
  EXPECT_EQ(OsGetLastError(), 20u);
  WriteFile(dir.file("file"), "x");
  EXPECT_EQ(OsCreateFolderTree(dir.file("file").c_str()), 0);
  EXPECT_EQ(OsGetLastError(), 20u);
}

TEST(OsCreateFolderTree, Failures) {
  TempDir dir;
  WriteFile(dir.file("file"), "x");
  EXPECT_EQ(OsCreateFolderTree(dir.file("file/sub/deeper").c_str()), -1);
  EXPECT_EQ(OsGetLastError(), 11u);  // ENOTDIR
  EXPECT_EQ(OsCreateFolderTree(""), -1);
}

TEST(OsCreateFolderTreeOwned, SetsModeAndOwnerOfWhatItCreates) {
  TempDir dir;
  const mode_t old_mask = umask(0);
  EXPECT_EQ(OsCreateFolderTreeOwned(dir.file("p/q").c_str(), 0710, 4321, 8765), 0);
  umask(old_mask);
  for (const char* name : {"p", "p/q"}) {
    struct stat st {};
    ASSERT_EQ(stat(dir.file(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0710u) << name;
    if (geteuid() == 0) {
      EXPECT_EQ(st.st_uid, 4321u) << name;
      EXPECT_EQ(st.st_gid, 8765u) << name;
    }
  }
}

TEST(OsFolder, OpenCloseDelete) {
  TempDir dir;
  OS_FOLDER* folder = OsFolderOpen(dir.path().c_str());
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->path, dir.path().string());
  EXPECT_EQ(OsFolderClose(folder), 0);
  EXPECT_EQ(OsFolderClose(nullptr), 0);
  EXPECT_EQ(OsFolderOpen(dir.file("missing").c_str()), nullptr);
  EXPECT_EQ(OsGetLastError(), 11u);
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  WriteFile(dir.file("sub/f"), "x");
  EXPECT_EQ(OsFolderDelete(dir.file("sub").c_str()), -1);
  EXPECT_EQ(OsGetLastError(), 52u);  // ENOTEMPTY
  unlink(dir.file("sub/f").c_str());
  EXPECT_EQ(OsFolderDelete(dir.file("sub").c_str()), 0);
  EXPECT_FALSE(IsFolder(dir.file("sub")));
}

struct Found {
  std::string name;
  OS_FILE_INFO info;
};

std::vector<Found> FindAll(const std::string& pattern) {
  std::vector<Found> found;
  OS_FIND* search = OsFindFirst(pattern.c_str());
  if (search == nullptr) return found;
  const char* name = nullptr;
  OS_FILE_INFO info{};
  while (OsFindNext(search, &name, &info) == 0) found.push_back({name, info});
  EXPECT_EQ(OsFindNext(search, &name, &info), -1);
  EXPECT_EQ(OsFindClose(search), 0);
  return found;
}

TEST(OsFind, ListsSortedMatchesWithTheirInformation) {
  TempDir dir;
  WriteFile(dir.file("b.txt"), "bb");
  WriteFile(dir.file("a.txt"), "a");
  WriteFile(dir.file(".hidden.txt"), "h");
  WriteFile(dir.file("c.dat"), "c");
  ASSERT_EQ(mkdir(dir.file("sub.txt").c_str(), 0755), 0);
  const auto found = FindAll(dir.file("*.txt"));
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, "a.txt");
  EXPECT_EQ(found[0].info.size, 1u);
  EXPECT_EQ(found[0].info.attributes, kOsAttrRegular);
  EXPECT_EQ(found[1].name, "b.txt");
  EXPECT_EQ(found[1].info.size, 2u);
  EXPECT_EQ(found[2].name, "sub.txt");
  EXPECT_NE(found[2].info.attributes & kOsAttrDirectory, 0u);
  const auto hidden = FindAll(dir.file(".*.txt"));
  ASSERT_EQ(hidden.size(), 1u);
  EXPECT_EQ(hidden[0].name, ".hidden.txt");
}

TEST(OsFind, FolderMatchesAndDescriptors) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
  const auto folders = FindAll(dir.file("*/"));
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0].name, ".");
  EXPECT_NE(folders[0].info.attributes & kOsAttrDirectory, 0u);
  WriteFile(dir.file("f"), "12345");
  const int fd = open(dir.file("f").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const auto by_fd = FindAll("/dev/fd/" + std::to_string(fd));
  ASSERT_EQ(by_fd.size(), 1u);
  EXPECT_EQ(by_fd[0].name, std::to_string(fd));
  EXPECT_EQ(by_fd[0].info.size, 5u);
  EXPECT_NE(by_fd[0].info.attributes & kOsAttrSymlink, 0u);  // /dev/fd/N is a link
  close(fd);
}

TEST(OsFind, NoMatchGivesNullAndLeavesTheLastError) {
  TempDir dir;
  OsSetOwnError(77);
  EXPECT_EQ(OsFindFirst(dir.file("*.none").c_str()), nullptr);
  EXPECT_EQ(OsGetLastError(), 77u);
  EXPECT_EQ(OsFindFirst(nullptr), nullptr);
}

TEST(OsFind, VanishedMatchStillSucceedsWithAllOnes) {
  TempDir dir;
  WriteFile(dir.file("gone"), "x");
  OS_FIND* search = OsFindFirst(dir.file("g*").c_str());
  ASSERT_NE(search, nullptr);
  unlink(dir.file("gone").c_str());
  const char* name = nullptr;
  OS_FILE_INFO info{};
  EXPECT_EQ(OsFindNext(search, &name, &info), 0);
  EXPECT_STREQ(name, "gone");
  EXPECT_EQ(info.size, UINT64_MAX);
  EXPECT_EQ(info.modification_time, UINT64_MAX);
  EXPECT_EQ(info.attributes, UINT32_MAX);
  OsFindClose(search);
}

}  // namespace
