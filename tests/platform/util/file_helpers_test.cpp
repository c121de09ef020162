#include "platform/util/file_helpers.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/os/os_error.h"
#include "platform/util/buffer.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using upd::test::ReadFile;
using upd::test::RunCommand;
using upd::test::TempDir;
using upd::test::WriteFile;

std::string Sha256(const std::string& path) {
  std::string out;
  if (RunCommand("sha256sum '" + path + "'", &out) != 0) return "<sha256sum failed>";
  return out.substr(0, 64);
}

bool SameBytes(const std::string& a, const std::string& b) {
  return RunCommand("cmp -s '" + a + "' '" + b + "'") == 0;
}

// Content that is not all the same byte, larger than one copy block.
std::string SampleContent() {
  std::string content;
  for (int i = 0; i < 20000; ++i) content.push_back(static_cast<char>(i * 7 + i / 251));
  return content;
}

TEST(FileExists, FilesFoldersAndMissingPaths) {
  TempDir dir;
  WriteFile(dir.file("f"), "x");
  EXPECT_TRUE(FileExists(dir.file("f").c_str()));
  EXPECT_TRUE(FileExists(dir.path().c_str()));
  EXPECT_FALSE(FileExists(dir.file("missing").c_str()));
  EXPECT_FALSE(FileExists(nullptr));
  EXPECT_TRUE(FolderExists(dir.path().c_str()));
  EXPECT_FALSE(FolderExists(dir.file("f").c_str()));
  EXPECT_FALSE(FolderExists(dir.file("missing").c_str()));
  EXPECT_FALSE(FolderExists(nullptr));
}

TEST(CountFiles, CountsMatchingEntriesThatAreNotFolders) {
  TempDir dir;
  WriteFile(dir.file("a.txt"), "");
  WriteFile(dir.file("b.txt"), "");
  WriteFile(dir.file("c.bin"), "");
  WriteFile(dir.file(".hidden.txt"), "");
  fs::create_directory(dir.file("sub.txt"));
  const std::string folder = dir.path().string();
  EXPECT_EQ(CountFiles(folder.c_str(), "*.txt"), 2u);
  EXPECT_EQ(CountFiles(folder.c_str(), "*"), 3u);
  EXPECT_EQ(CountFiles(folder.c_str(), "*.none"), 0u);
  EXPECT_EQ(CountFiles(dir.file("missing").c_str(), "*"), 0u);
  EXPECT_EQ(CountFiles(nullptr, "*"), std::nullopt);
  EXPECT_EQ(CountFiles(folder.c_str(), nullptr), std::nullopt);
  fs::create_directory(dir.file("x[y]"));
  WriteFile(dir.file("x[y]/in.txt"), "");
  EXPECT_EQ(CountFiles(dir.file("x[y]").c_str(), "*.txt"), 1u);
  const std::string long_pattern(4100, '*');
  EXPECT_EQ(CountFiles(folder.c_str(), long_pattern.c_str()), 0u);
}

TEST(FileOpen, CreatesTheMissingFolderOnlyWhenAskedAndCreating) {
  TempDir dir;
  const std::string path = dir.file("a/b/c.dat");
  EXPECT_EQ(FileOpen(path.c_str(), kOsAccessWrite, kOsCreateAlways, 0), nullptr);
  EXPECT_EQ(FileOpen(path.c_str(), kOsAccessRead, kOsOpenExisting, kFileOpenCreateFolder), nullptr);
  EXPECT_FALSE(fs::exists(dir.file("a")));
  for (uint32_t disposition : {kOsCreateNew, kOsCreateAlways, kOsOpenAlways}) {
    fs::remove_all(dir.file("a"));
    OS_FILE* file = FileOpen(path.c_str(), kOsAccessWrite, disposition, kFileOpenCreateFolder);
    ASSERT_NE(file, nullptr) << disposition;
    EXPECT_EQ(OsFileClose(file), 0);
    EXPECT_TRUE(fs::is_regular_file(path));
  }
}

TEST(DeleteFileChecked, MissingIsSuccessAndTheKeepFlagKeeps) {
  TempDir dir;
  WriteFile(dir.file("f"), "x");
  EXPECT_EQ(DeleteFileChecked(dir.file("f").c_str(), kDeleteKeep), 0u);
  EXPECT_TRUE(fs::exists(dir.file("f")));
  EXPECT_EQ(DeleteFileChecked(dir.file("f").c_str(), 0), 0u);
  EXPECT_FALSE(fs::exists(dir.file("f")));
  EXPECT_EQ(DeleteFileChecked(dir.file("f").c_str(), 0), 0u);
  EXPECT_EQ(DeleteFileChecked(dir.file("no/such/f").c_str(), 0), 0u);
  fs::create_directory(dir.file("folder"));
  EXPECT_EQ(DeleteFileChecked(dir.file("folder").c_str(), 0), 0x1021u);
  EXPECT_TRUE(fs::exists(dir.file("folder")));
}

TEST(CreateParentFolder, CreatesThePartBeforeTheLastSlash) {
  TempDir dir;
  EXPECT_EQ(CreateParentFolder(dir.file("x/y/z/file").c_str()), 0u);
  EXPECT_TRUE(fs::is_directory(dir.file("x/y/z")));
  EXPECT_FALSE(fs::exists(dir.file("x/y/z/file")));
  EXPECT_EQ(CreateParentFolder("no-slash"), 0u);
  EXPECT_EQ(CreateParentFolder("/rooted"), 0u);
  WriteFile(dir.file("plain"), "");
  EXPECT_EQ(CreateParentFolder(dir.file("plain/sub/file").c_str()), 0x1018u);
}

TEST(CopyFileCreatingFolder, CopiesIntoNewFoldersAndHonoursOverwrite) {
  TempDir dir;
  WriteFile(dir.file("src"), SampleContent());
  const std::string target = dir.file("new/deep/copy");
  EXPECT_TRUE(CopyFileCreatingFolder(dir.file("src").c_str(), target.c_str(), false, true));
  EXPECT_TRUE(SameBytes(dir.file("src"), target));
  WriteFile(target, "old");
  EXPECT_FALSE(CopyFileCreatingFolder(dir.file("src").c_str(), target.c_str(), false, false));
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_TRUE(CopyFileCreatingFolder(dir.file("src").c_str(), target.c_str(), true, false));
  EXPECT_TRUE(SameBytes(dir.file("src"), target));
  EXPECT_FALSE(CopyFileCreatingFolder(dir.file("missing").c_str(), target.c_str(), true, false));
}

TEST(FileCopy, FlagsAndCodes) {
  const struct {
    const char* name;
    bool target_exists;
    bool target_folder_exists;
    bool source_exists;
    uint32_t flags;
    UPD_ERROR result;
  } kCases[] = {
      {"plain copy", false, true, true, 0, 0},
      {"flush", false, true, true, kFileCopyFlush, 0},
      {"existing target", true, true, true, 0, 0x101A},
      {"overwrite", true, true, true, kFileCopyOverwrite, 0},
      {"missing folder", false, false, true, 0, 0x101A},
      {"missing folder created", false, false, true, kFileCopyCreateFolder, 0},
      {"missing source", false, true, false, kFileCopyCreateFolder, 0x101A},
  };
  for (const auto& c : kCases) {
    TempDir dir;
    const std::string source = dir.file("source.nup");
    const std::string target = dir.file("out/target.nup");
    if (c.source_exists) WriteFile(source, SampleContent());
    if (c.target_folder_exists) fs::create_directory(dir.file("out"));
    if (c.target_exists) WriteFile(target, "previous");
    EXPECT_EQ(FileCopy(source.c_str(), target.c_str(), c.flags), c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(Sha256(target), Sha256(source)) << c.name;
    } else if (c.target_exists) {
      EXPECT_EQ(ReadFile(target), "previous") << c.name;
    }
    if (c.source_exists) {
      EXPECT_TRUE(fs::exists(source)) << c.name;
    }
  }
}

// A folder on another file system than the test's own folder, so that a
// rename between the two fails with a cross-device error.
class OtherFileSystem {
 public:
  OtherFileSystem() {
    char pattern[] = "/dev/shm/updtest-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~OtherFileSystem() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  bool available() const { return !path_.empty(); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct MoveCase {
  const char* name;
  bool cross_device;
  bool target_folder_exists;
  bool target_exists;
  uint32_t flags;
  UPD_ERROR result;
};

TEST(FileMove, RenamesAndFallsBackToCopy) {
  const MoveCase kCases[] = {
      {"rename", false, true, false, 1, 0},
      {"rename with flush", false, true, false, 19, 0},
      {"existing target kept", false, true, true, 0, 0x101E},
      {"existing target replaced", false, true, true, 1, 0},
      {"missing folder without creation", false, false, false, 1, 0x101E},
      {"missing folder without creation, fallback", false, false, false, 3, 0x101E},
      {"missing folder created (11)", false, false, false, 11, 0},
      {"missing folder created (9)", false, false, false, 9, 0},
      {"other file system, no fallback", true, true, false, 1, 0x101E},
      {"other file system, copy and delete", true, true, false, 3, 0},
      {"other file system, copy with flush", true, true, false, 23, 0},
      {"other file system, flush of the copy", true, true, false, 43, 0},
      {"other file system, missing folder", true, false, false, 11, 0},
      {"other file system, missing folder, no creation", true, false, false, 3, 0x101E},
      {"other file system, existing target kept", true, true, true, 2, 0x101A},
      {"other file system, existing target replaced", true, true, true, 3, 0},
      {"hook flag", false, true, false, 0x41, 0},
  };
  OtherFileSystem other;
  if (!other.available()) GTEST_SKIP() << "no /dev/shm";
  for (const auto& c : kCases) {
    TempDir dir;
    const std::string content = SampleContent() + c.name;
    const std::string source = dir.file("zel00000001.nup");
    WriteFile(source, content);
    const std::string expected_sum = Sha256(source);
    const std::string folder = c.cross_device ? other.file("moved") : dir.file("moved");
    const std::string target = folder + "/zel00000002.nup";
    fs::remove_all(folder);
    if (c.target_folder_exists) fs::create_directory(folder);
    if (c.target_exists) WriteFile(target, "previous");

    EXPECT_EQ(FileMove(source.c_str(), target.c_str(), c.flags), c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(Sha256(target), expected_sum) << c.name;
      EXPECT_FALSE(fs::exists(source)) << c.name;
    } else {
      EXPECT_EQ(Sha256(source), expected_sum) << c.name << ": the source stays";
      if (c.target_exists) {
        EXPECT_EQ(ReadFile(target), "previous") << c.name;
      }
    }
  }
}

TEST(FileMove, MissingSourceIsRefused) {
  TempDir dir;
  for (uint32_t flags : {1u, 3u, 11u, 95u}) {
    EXPECT_EQ(FileMove(dir.file("none").c_str(), dir.file("sub/t").c_str(), flags), 0x101Eu)
        << flags;
  }
}

TEST(LoadFileToBuffer, AppendsTheWholeFile) {
  TempDir dir;
  const std::string content = SampleContent();
  WriteFile(dir.file("data"), content);
  WriteFile(dir.file("empty"), "");
  CBuffer buffer;
  ASSERT_NE(buffer.Append("head", 4), CBuffer::kFailed);
  EXPECT_EQ(LoadFileToBuffer(dir.file("data").c_str(), buffer), 0u);
  ASSERT_EQ(buffer.Length(), 4 + content.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Length()),
            "head" + content);
  EXPECT_EQ(LoadFileToBuffer(dir.file("empty").c_str(), buffer), 0u);
  EXPECT_EQ(buffer.Length(), 4 + content.size());
  EXPECT_EQ(LoadFileToBuffer(dir.file("missing").c_str(), buffer), 0x1016u);
  // A folder opens but cannot be read.
  EXPECT_EQ(LoadFileToBuffer(dir.path().c_str(), buffer), 0x1013u);
  EXPECT_EQ(buffer.Length(), 4 + content.size());
}

TEST(SaveBufferToFile, WritesANewFileInANewFolder) {
  TempDir dir;
  const std::string content = SampleContent();
  const std::string path = dir.file("a/b/saved.ver");
  EXPECT_EQ(SaveBufferToFile(path.c_str(), content.data(), content.size()), 0u);
  EXPECT_EQ(ReadFile(path), content);
  EXPECT_EQ(SaveBufferToFile(path.c_str(), "new", 3), 0u);
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(SaveBufferToFile(path.c_str(), nullptr, 0), 0u);
  EXPECT_EQ(ReadFile(path), "");
  WriteFile(dir.file("plain"), "");
  EXPECT_EQ(SaveBufferToFile(dir.file("plain/x").c_str(), "x", 1), 0x1016u);
}

// A full disk is 0x1020 whether the bytes fail in the write itself or only
// when the buffered rest is flushed, never success.
TEST(SaveBufferToFile, FullDiskIsReported) {
  const std::string small = "a few bytes that stay in the stream buffer";
  const std::string large(1 << 20, 'L');
  EXPECT_EQ(SaveBufferToFile("/dev/full", small.data(), small.size()), 0x1020u);
  EXPECT_EQ(SaveBufferToFile("/dev/full", large.data(), large.size()), 0x1020u);
}

TEST(MapDiskFullError, FollowsTheLastOsError) {
  OsSetErrnoError(ENOSPC);
  EXPECT_EQ(MapDiskFullError(kUpdCopyFailed), 0x1020u);
  OsSetErrnoError(EACCES);
  EXPECT_EQ(MapDiskFullError(kUpdCopyFailed), 0x101Au);
  EXPECT_EQ(MapDiskFullError(kUpdWriteFailed), 0x1017u);
}

}  // namespace
