#include "platform/os/os_durable.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/os/os_error.h"
#include "platform/os/os_file_ops.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"

namespace {

using upd::test::RandomBytes;
using upd::test::ReadFile;
using upd::test::TempDir;
using upd::test::WriteFile;

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

TEST(OsDurable, FlushesWrittenFilesAndFolders) {
  TempDir dir;
  const std::string path = dir.file("f");
  OS_FILE* file = OsFileOpen(path.c_str(), nullptr, kOsAccessWrite, kOsCreateAlways);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(OsFileWrite(file, "buffered", 8), 8);
  // The flush writes what stdio still holds before it reaches the disk.
  EXPECT_EQ(OsFileSync(file), 0);
  EXPECT_EQ(ReadFile(path), "buffered");
  EXPECT_EQ(OsFileClose(file), 0);
  EXPECT_EQ(OsSyncFile(path.c_str()), 0);
  EXPECT_EQ(OsSyncFolder(dir.path().string().c_str()), 0);
  EXPECT_EQ(OsSyncFolderOf(path.c_str()), 0);
}

TEST(OsDurable, RefusesWhatCannotBeFlushed) {
  TempDir dir;
  const std::string file = dir.file("plain");
  WriteFile(file, "x");
  struct Case {
    const char* name;
    int (*sync)(const char*);
    std::string path;
    uint32_t error;
  };
  const Case cases[] = {
      {"missing file", OsSyncFile, dir.file("missing"), kOsNotFound},
      {"missing folder", OsSyncFolder, dir.file("missing"), kOsNotFound},
      {"a file as a folder", OsSyncFolder, file, kOsNotFound},
      {"a descriptor path", OsSyncFile, "/dev/fd/0", kOsInvalidArgument},
      {"folder of a file in a missing folder", OsSyncFolderOf, dir.file("gone/f"), kOsNotFound},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.sync(c.path.c_str()), -1) << c.name;
    EXPECT_EQ(OsGetLastError(), c.error) << c.name;
  }
  EXPECT_EQ(OsSyncFile(nullptr), -1);
  EXPECT_EQ(OsFileSync(nullptr), -1);
}

TEST(OsDurable, RenameMakesTheNewFileCurrentOrLeavesBothAsTheyWere) {
  TempDir dir;
  const std::string from = dir.file("new");
  const std::string to = dir.file("current");
  WriteFile(from, "new bytes");
  WriteFile(to, "old bytes");
  // Without overwrite an existing target stays, and so does the new file.
  EXPECT_EQ(OsFileRenameDurable(from.c_str(), to.c_str(), false), -1);
  EXPECT_EQ(OsGetLastError(), kOsExists);
  EXPECT_EQ(ReadFile(to), "old bytes");
  EXPECT_TRUE(Exists(from));
  EXPECT_EQ(OsFileRenameDurable(from.c_str(), to.c_str(), true), 0);
  EXPECT_EQ(ReadFile(to), "new bytes");
  EXPECT_FALSE(Exists(from));
  // A missing source changes nothing.
  EXPECT_EQ(OsFileRenameDurable(from.c_str(), to.c_str(), true), -1);
  EXPECT_EQ(ReadFile(to), "new bytes");
}

TEST(OsDurable, SyncedCopyIsWhole) {
  TempDir dir;
  const std::string from = dir.file("from");
  const std::string to = dir.file("to");
  const std::string bytes = RandomBytes(300000, 7);
  WriteFile(from, bytes);
  EXPECT_EQ(OsFileCopy(from.c_str(), nullptr, to.c_str(), nullptr, kOsCopySync), 0);
  EXPECT_EQ(ReadFile(to), bytes);
  // The flag does not loosen the refusal of an existing target.
  EXPECT_EQ(OsFileCopy(from.c_str(), nullptr, to.c_str(), nullptr, kOsCopySync), -1);
  EXPECT_EQ(OsFileCopy(from.c_str(), nullptr, to.c_str(), nullptr, kOsCopySync | kOsCopyOverwrite),
            0);
  EXPECT_EQ(ReadFile(to), bytes);
}

}  // namespace
