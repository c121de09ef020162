#include "platform/os/os_file_ops.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/os/os_error.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"

namespace {

using upd::test::RandomBytes;
using upd::test::ReadFile;
using upd::test::RunCommand;
using upd::test::TempDir;
using upd::test::WriteFile;

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st;
}

void SetTimes(const std::string& path, time_t seconds, long nanoseconds) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(OsFileDelete, RemovesFilesAndEmptiesDescriptors) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "x");
  EXPECT_EQ(OsFileDelete(path.c_str(), nullptr), 0);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(OsFileDelete(path.c_str(), nullptr), -1);
  EXPECT_EQ(OsGetLastError(), 11u);
  EXPECT_EQ(OsFileDelete("", nullptr), -1);
  EXPECT_EQ(OsGetLastError(), 29u);
  WriteFile(path, "content");
  const int fd = open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(OsFileDelete(("/dev/fd/" + std::to_string(fd)).c_str(), nullptr), 0);
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(ReadFile(path), "");
  close(fd);
}

TEST(OsFileRename, RefusesAnExistingTargetWithoutTheOverwriteBit) {
  TempDir dir;
  const std::string from = dir.file("from");
  const std::string to = dir.file("to");
  WriteFile(from, "source");
  WriteFile(to, "target");
  EXPECT_EQ(OsFileRename(from.c_str(), nullptr, to.c_str(), nullptr, 0), -1);
  EXPECT_EQ(OsGetLastError(), 38u);
  EXPECT_EQ(ReadFile(from), "source");
  EXPECT_EQ(ReadFile(to), "target");
  EXPECT_EQ(OsFileRename(from.c_str(), nullptr, to.c_str(), nullptr, kOsRenameOverwrite), 0);
  EXPECT_FALSE(Exists(from));
  EXPECT_EQ(ReadFile(to), "source");
  EXPECT_EQ(OsFileRename(to.c_str(), nullptr, from.c_str(), nullptr, 0), 0);
  EXPECT_EQ(ReadFile(from), "source");
}

TEST(OsFileRename, Failures) {
  TempDir dir;
  const std::string a = dir.file("a");
  WriteFile(a, "a");
  EXPECT_EQ(OsFileRename("/dev/fd/0", nullptr, a.c_str(), nullptr, 1), -1);
  EXPECT_EQ(OsGetLastError(), 39u);
  EXPECT_EQ(OsFileRename(a.c_str(), nullptr, "/dev/fd/3", nullptr, 1), -1);
  EXPECT_EQ(OsGetLastError(), 39u);
  EXPECT_EQ(OsFileRename(nullptr, nullptr, a.c_str(), nullptr, 1), -1);
  EXPECT_EQ(OsGetLastError(), 10u);
  EXPECT_EQ(OsFileRename(dir.file("missing").c_str(), nullptr, dir.file("b").c_str(), nullptr, 0),
            -1);
  EXPECT_EQ(OsGetLastError(), 11u);
  const uint32_t stream[] = {25, 2, 0x7878, 0, 0};
  EXPECT_EQ(OsFileRename(a.c_str(), reinterpret_cast<const OS_ATTRIBUTE_LIST*>(stream),
                         dir.file("b").c_str(), nullptr, 1),
            -1);
  EXPECT_EQ(OsGetLastError(), 29u);
  EXPECT_EQ(ReadFile(a), "a");
}

TEST(OsFileLink, GivesTheSameFileASecondName) {
  TempDir dir;
  const std::string a = dir.file("a");
  const std::string b = dir.file("b");
  WriteFile(a, "content");
  ASSERT_EQ(OsFileLink(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(StatOf(a).st_ino, StatOf(b).st_ino);
  // Replacing the first name leaves the second with the old content.
  WriteFile(dir.file("new"), "new");
  ASSERT_EQ(rename(dir.file("new").c_str(), a.c_str()), 0);
  EXPECT_EQ(ReadFile(b), "content");
}

TEST(OsFileLink, Failures) {
  TempDir dir;
  const std::string a = dir.file("a");
  WriteFile(a, "a");
  WriteFile(dir.file("taken"), "taken");
  ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
  struct Case {
    const char* name;
    std::string from;
    std::string to;
    uint32_t error;
  };
  const Case kCases[] = {
      {"existing target", a, dir.file("taken"), 38},
      {"missing source", dir.file("missing"), dir.file("b"), 11},
      {"folder", dir.file("folder"), dir.file("b"), 29},
      {"descriptor path", "/dev/fd/0", dir.file("b"), 39},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(OsFileLink(c.from.c_str(), c.to.c_str()), -1) << c.name;
    EXPECT_EQ(OsGetLastError(), c.error) << c.name;
  }
  EXPECT_EQ(OsFileLink(nullptr, a.c_str()), -1);
  EXPECT_EQ(OsGetLastError(), 10u);
  EXPECT_EQ(ReadFile(dir.file("taken")), "taken");
  EXPECT_FALSE(Exists(dir.file("b")));
}

TEST(OsFileSetMode, SetsTheBitsWhateverTheUmask) {
  TempDir dir;
  const std::string a = dir.file("a");
  WriteFile(a, "a");
  ASSERT_EQ(chmod(a.c_str(), 0600), 0);
  const mode_t previous = umask(077);
  EXPECT_EQ(OsFileSetMode(a.c_str(), 0644), 0);
  umask(previous);
  EXPECT_EQ(StatOf(a).st_mode & 07777, 0644u);
  EXPECT_EQ(OsFileSetMode(dir.file("missing").c_str(), 0644), -1);
  EXPECT_EQ(OsGetLastError(), 11u);
}

class OsFileCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(from_, RandomBytes(100000, 1));
    ASSERT_EQ(chmod(from_.c_str(), 0750), 0);
    SetTimes(from_, 1000000000, 123456789);
  }
  TempDir dir_;
  std::string from_ = dir_.file("from");
  std::string to_ = dir_.file("to");
};

TEST_F(OsFileCopyTest, CopiesContentAndMetadata) {
  EXPECT_EQ(OsFileCopy(from_.c_str(), nullptr, to_.c_str(), nullptr, 0), 0);
  EXPECT_EQ(RunCommand("cmp -s " + from_ + " " + to_), 0);
  const struct stat st = StatOf(to_);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
}

TEST_F(OsFileCopyTest, RefusedCopyChangesNothing) {
  WriteFile(to_, "keep me");
  ASSERT_EQ(chmod(to_.c_str(), 0604), 0);
  SetTimes(to_, 1500000000, 0);
  EXPECT_EQ(OsFileCopy(from_.c_str(), nullptr, to_.c_str(), nullptr, 0), -1);
  EXPECT_EQ(OsGetLastError(), 38u);
  EXPECT_EQ(ReadFile(to_), "keep me");
  const struct stat st = StatOf(to_);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
}

TEST_F(OsFileCopyTest, OverwriteReplacesTheTarget) {
  WriteFile(to_, std::string(200000, 'o'));
  EXPECT_EQ(OsFileCopy(from_.c_str(), nullptr, to_.c_str(), nullptr, kOsCopyOverwrite), 0);
  EXPECT_EQ(RunCommand("cmp -s " + from_ + " " + to_), 0);
}

TEST_F(OsFileCopyTest, AppendExtendsAnExistingTarget) {
  WriteFile(to_, "head:");
  EXPECT_EQ(OsFileCopy(from_.c_str(), nullptr, to_.c_str(), nullptr, kOsCopyAppend), 0);
  EXPECT_EQ(ReadFile(to_), "head:" + ReadFile(from_));
  EXPECT_EQ(RunCommand("tail -c 100000 " + to_ + " | cmp -s - " + from_), 0);
  EXPECT_EQ(OsFileCopy(from_.c_str(), nullptr, dir_.file("none").c_str(), nullptr, kOsCopyAppend),
            -1);
  EXPECT_EQ(OsGetLastError(), 11u);
  EXPECT_FALSE(Exists(dir_.file("none")));
}

TEST_F(OsFileCopyTest, MissingSourceAndSameFile) {
  EXPECT_EQ(OsFileCopy(dir_.file("missing").c_str(), nullptr, to_.c_str(), nullptr, 1), -1);
  EXPECT_EQ(OsGetLastError(), 11u);
  EXPECT_FALSE(Exists(to_));
  const std::string before = ReadFile(from_);
  for (uint32_t flags : {kOsCopyOverwrite, kOsCopyAppend}) {
    EXPECT_EQ(OsFileCopy(from_.c_str(), nullptr, from_.c_str(), nullptr, flags), -1);
    EXPECT_EQ(OsGetLastError(), 10u);
    EXPECT_EQ(ReadFile(from_), before) << "copying onto itself must not empty or grow the file";
  }
}

struct CutCase {
  uint64_t size;
  uint64_t offset;
  uint64_t n;
};

TEST(OsFileCutRange, MatchesHeadAndTail) {
  const CutCase cases[] = {{5000, 0, 3},    {5000, 100, 2048}, {5000, 1, 4998}, {5000, 4990, 10},
                           {5000, 0, 5000}, {10000, 2047, 1},  {4096, 0, 2048}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir.file("f");
    const std::string original = dir.file("orig");
    WriteFile(original, RandomBytes(c.size, static_cast<unsigned>(c.offset + c.n)));
    WriteFile(path, ReadFile(original));
    OS_FILE* f = OsFileOpen(path.c_str(), nullptr, 3, kOsOpenExisting);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(OsFileCutRange(f, c.offset, c.n), static_cast<int64_t>(c.n));
    ASSERT_EQ(OsFileClose(f), 0);
    const std::string expected = "{ head -c " + std::to_string(c.offset) + " " + original +
                                 "; tail -c +" + std::to_string(c.offset + c.n + 1) + " " +
                                 original + "; } | cmp -s - " + path;
    EXPECT_EQ(RunCommand(expected), 0) << c.size << " " << c.offset << " " << c.n;
    EXPECT_EQ(static_cast<uint64_t>(StatOf(path).st_size), c.size - c.n);
  }
}

TEST(OsFileCutRange, ThreeBytesAtTheStartAgreeWithTail) {
  TempDir dir;
  const std::string path = dir.file("f");
  const std::string original = dir.file("orig");
  WriteFile(original, RandomBytes(5000, 7));
  WriteFile(path, ReadFile(original));
  OS_FILE* f = OsFileOpen(path.c_str(), nullptr, 3, kOsOpenExisting);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(OsFileCutRange(f, 0, 3), 3);
  OsFileClose(f);
  EXPECT_EQ(RunCommand("tail -c 4997 " + original + " | cmp -s - " + path), 0);
}

TEST(OsFileCutRange, RangesBeyondTheEnd) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "0123456789");
  OS_FILE* f = OsFileOpen(path.c_str(), nullptr, 3, kOsOpenExisting);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(OsFileCutRange(f, 5, 0), 0);
  EXPECT_EQ(OsFileCutRange(f, 5, 6), -1);
  EXPECT_EQ(OsFileCutRange(f, 11, 1), -1);
  EXPECT_EQ(OsFileCutRange(f, UINT64_MAX, 2), -1);
  OsFileClose(f);
  EXPECT_EQ(ReadFile(path), "0123456789");
}

TEST(OsFileCopyStream, CopiesToTheEndOrToTheLimit) {
  TempDir dir;
  const std::string data = RandomBytes(20000, 3);
  WriteFile(dir.file("src"), data);
  for (uint64_t limit : {kOsCopyToEnd, uint64_t{10000}, uint64_t{8192}, uint64_t{1}, uint64_t{0}}) {
    OS_FILE* in = OsFileOpen(dir.file("src").c_str(), nullptr, 1, kOsOpenExisting);
    OS_FILE* out = OsFileOpen(dir.file("dst").c_str(), nullptr, 2, kOsCreateAlways);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    const uint64_t expected = limit < data.size() ? limit : data.size();
    EXPECT_EQ(OsFileCopyStream(in, out, limit), static_cast<int64_t>(expected)) << limit;
    OsFileClose(in);
    OsFileClose(out);
    EXPECT_EQ(ReadFile(dir.file("dst")), data.substr(0, expected)) << limit;
  }
}

}  // namespace
