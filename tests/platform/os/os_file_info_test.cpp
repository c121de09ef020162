#include "platform/os/os_file_info.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <string>

#include "platform/os/os_error.h"
#include "support/temp_dir.h"

namespace {

using upd::test::RunCommand;
using upd::test::TempDir;
using upd::test::WriteFile;

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

// stat(1) of a path, following links: size, modification seconds, raw mode (hex).
struct StatTool {
  uint64_t size = 0;
  int64_t mtime = 0;
  unsigned mode = 0;
};

StatTool RunStat(const std::string& path) {
  std::string out;
  EXPECT_EQ(RunCommand("stat -L -c '%s %Y %f' " + path, &out), 0);
  std::istringstream in(out);
  StatTool s;
  in >> s.size >> s.mtime >> std::hex >> s.mode;
  return s;
}

TEST(OsUnixTimeToFileTime, CountsFrom1601) {
  EXPECT_EQ(OsUnixTimeToFileTime(0), kUnixEpochAsFileTime);
  EXPECT_EQ(OsUnixTimeToFileTime(1), kUnixEpochAsFileTime + 10000000);
  EXPECT_EQ(OsUnixTimeToFileTime(-11644473600LL), 0u);
}

TEST(OsGetFileInfo, AgreesWithStat) {
  TempDir dir;
  WriteFile(dir.file("plain"), std::string(1234, 'p'));
  WriteFile(dir.file("tool"), "#!/bin/sh\n");
  ASSERT_EQ(chmod(dir.file("tool").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
  ASSERT_EQ(symlink(dir.file("plain").c_str(), dir.file("link").c_str()), 0);
  struct Case {
    const char* name;
    uint32_t bits;
  };
  const Case cases[] = {{"plain", kOsAttrRegular},
                        {"tool", kOsAttrRegular | kOsAttrExecutable},
                        {"folder", kOsAttrDirectory | kOsAttrExecutable},
                        {"link", kOsAttrRegular | kOsAttrSymlink}};
  for (const auto& c : cases) {
    const std::string path = dir.file(c.name);
    const StatTool expected = RunStat(path);
    uint64_t mtime = 0, size = 0;
    uint32_t bits = 0;
    ASSERT_EQ(OsGetFileInfo(path.c_str(), nullptr, &mtime, &size, &bits), 0) << c.name;
    EXPECT_EQ(size, expected.size) << c.name;
    EXPECT_EQ(mtime, OsUnixTimeToFileTime(expected.mtime)) << c.name;
    EXPECT_EQ(bits, c.bits) << c.name;
    uint32_t only_bits = 0;
    EXPECT_EQ(OsGetFileAttributes(path.c_str(), nullptr, &only_bits), 0);
    EXPECT_EQ(only_bits, c.bits) << c.name;
    EXPECT_EQ(OsGetFileInfo(path.c_str(), nullptr, nullptr, nullptr, nullptr), 0);
  }
}

TEST(OsGetFileInfo, DescriptorsMissingPathsAndStreams) {
  TempDir dir;
  WriteFile(dir.file("f"), "12345");
  const int fd = open(dir.file("f").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  uint64_t size = 0;
  uint32_t bits = 0;
  EXPECT_EQ(
      OsGetFileInfo(("/dev/fd/" + std::to_string(fd)).c_str(), nullptr, nullptr, &size, &bits), 0);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(bits, kOsAttrRegular) << "answered by fstat, not as a link";
  close(fd);
  EXPECT_EQ(OsGetFileInfo(dir.file("missing").c_str(), nullptr, nullptr, &size, nullptr), -1);
  EXPECT_EQ(OsGetLastError(), 11u);
  const uint32_t stream[] = {25, 1, 'x', 0, 0};
  EXPECT_EQ(OsGetFileInfo(dir.file("f").c_str(), reinterpret_cast<const OS_ATTRIBUTE_LIST*>(stream),
                          nullptr, &size, nullptr),
            -1);
  EXPECT_EQ(OsGetLastError(), 1u);
}

TEST(OsFileInfoFromStat, TrimsTrailingSlashesAndSetsAllOnesOnFailure) {
  TempDir dir;
  OS_FILE_INFO info{};
  EXPECT_EQ(OsFileInfoFromStat((dir.path().string() + "///").c_str(), -1, &info), 0);
  EXPECT_NE(info.attributes & kOsAttrDirectory, 0u);
  EXPECT_EQ(OsFileInfoFromStat("/", -1, &info), 0);
  EXPECT_NE(info.attributes & kOsAttrDirectory, 0u);
  EXPECT_EQ(OsFileInfoFromStat(dir.file("none").c_str(), -1, &info), -1);
  EXPECT_EQ(info.size, UINT64_MAX);
  EXPECT_EQ(info.modification_time, UINT64_MAX);
  EXPECT_EQ(info.attributes, UINT32_MAX);
  EXPECT_EQ(OsFileInfoFromStat(nullptr, 987654, &info), -1);
  EXPECT_EQ(OsGetLastError(), 34u);
  EXPECT_EQ(OsFileInfoFromStat(dir.file("none").c_str(), -1, nullptr), 0);
}

TEST(OsFileGetInfoByHandle, FlushesFirst) {
  TempDir dir;
  OS_FILE* f = OsFileOpen(dir.file("f").c_str(), nullptr, 2, kOsCreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(OsFileWrite(f, "0123456789", 10), 10);
  uint64_t size = 0;
  uint32_t bits = 0;
  EXPECT_EQ(OsFileGetInfoByHandle(f, nullptr, &size, &bits), 0);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(bits, kOsAttrRegular);
  OsFileClose(f);
}

// Python reads the times with nanoseconds, which stat(1)'s seconds do not show.
std::string PythonStat(const std::string& path) {
  const char* python = std::getenv("PYTHON3");
  std::string out;
  RunCommand(std::string(python != nullptr ? python : "python3") +
                 " -c 'import os,sys; s=os.stat(sys.argv[1]); "
                 "print(oct(s.st_mode), s.st_uid, s.st_gid, s.st_atime_ns, s.st_mtime_ns)' " +
                 path,
             &out);
  return out;
}

std::string Describe(const OS_FILE_METADATA& m) {
  std::ostringstream s;
  s << "0o" << std::oct << m.mode << std::dec << " " << m.uid << " " << m.gid << " "
    << m.times.access_seconds * 1000000000LL + m.times.access_nanoseconds << " "
    << m.times.modification_seconds * 1000000000LL + m.times.modification_nanoseconds << "\n";
  return s.str();
}

TEST(OsFileMetadata, ReadsTheBlobAsStatSeesIt) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "x");
  ASSERT_EQ(chmod(path.c_str(), 0641), 0);
  const timespec times[2] = {{1111111111, 222}, {1333333333, 444444444}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  unsigned char blob[48];
  std::memset(blob, 0xAA, sizeof blob);
  uint32_t size = sizeof blob;
  ASSERT_EQ(OsGetFileMetadata(path.c_str(), nullptr, blob, &size), 0);
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(std::memcmp(blob, "UNIX", 4), 0);
  EXPECT_EQ(blob[40], 0xAA) << "only 40 bytes are written";
  OS_FILE_METADATA m{};
  std::memcpy(&m, blob, sizeof m);
  EXPECT_EQ(Describe(m), PythonStat(path));
  // Field offsets of the little-endian layout.
  uint32_t mode_at_4 = 0;
  int64_t mtime_at_28 = 0;
  std::memcpy(&mode_at_4, blob + 4, 4);
  std::memcpy(&mtime_at_28, blob + 28, 8);
  EXPECT_EQ(mode_at_4, 0100641u);
  EXPECT_EQ(mtime_at_28, 1333333333);
}

TEST(OsFileMetadata, SizeChecks) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "x");
  unsigned char blob[40];
  std::memset(blob, 0xAA, sizeof blob);
  uint32_t size = 39;
  EXPECT_EQ(OsGetFileMetadata(path.c_str(), nullptr, blob, &size), -1);
  EXPECT_EQ(OsGetLastError(), 8u);
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(blob[0], 0xAA);
  size = 40;
  EXPECT_EQ(OsGetFileMetadata(dir.file("none").c_str(), nullptr, blob, &size), -1);
  EXPECT_EQ(OsGetLastError(), 11u);
  ASSERT_EQ(OsGetFileMetadata(path.c_str(), nullptr, blob, &size), 0);
  for (uint32_t bad : {0u, 39u, 41u}) {
    EXPECT_EQ(OsSetFileMetadata(path.c_str(), nullptr, blob, bad), -1);
    EXPECT_EQ(OsGetLastError(), 10u);
  }
  const uint32_t stream[] = {25, 1, 'x', 0, 0};
  const auto* list = reinterpret_cast<const OS_ATTRIBUTE_LIST*>(stream);
  EXPECT_EQ(OsGetFileMetadata(path.c_str(), list, blob, &size), -1);
  EXPECT_EQ(OsGetLastError(), 29u);
  EXPECT_EQ(OsSetFileMetadata(path.c_str(), list, blob, 40), -1);
  EXPECT_EQ(OsGetLastError(), 29u);
}

TEST(OsFileMetadata, AppliesModeTimesAndOwner) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "x");
  OS_FILE_METADATA m{};
  std::memcpy(m.tag, "UNIX", 4);
  m.mode = 0100604;
  m.uid = 2345;
  m.gid = 3456;
  m.times = {1200000000, 5, 1300000000, 999999999};
  ASSERT_EQ(OsSetFileMetadata(path.c_str(), nullptr, &m, sizeof m), 0);
  if (geteuid() != 0) {
    m.uid = geteuid();
    m.gid = getegid();
  }
  EXPECT_EQ(Describe(m), PythonStat(path));
  // Through a descriptor path.
  const int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  m.mode = 0100640;
  m.times.modification_seconds = 1400000000;
  ASSERT_EQ(OsSetFileMetadata(("/dev/fd/" + std::to_string(fd)).c_str(), nullptr, &m, sizeof m), 0);
  close(fd);
  EXPECT_EQ(Describe(m), PythonStat(path));
  EXPECT_EQ(OsSetFileMetadata(dir.file("none").c_str(), nullptr, &m, sizeof m), -1);
  EXPECT_EQ(OsGetLastError(), 11u);
}

TEST(OsFileMetadata, ForeignTagChangesNothing) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "x");
  const std::string before = PythonStat(path);
  OS_FILE_METADATA m{};
  std::memcpy(m.tag, "WIN\0", 4);
  m.mode = 0100777;
  EXPECT_EQ(OsSetFileMetadata(path.c_str(), nullptr, &m, sizeof m), 0);
  EXPECT_EQ(PythonStat(path), before);
  EXPECT_EQ(OsSetFileMetadata(dir.file("none").c_str(), nullptr, &m, sizeof m), 0);
}

TEST(OsSetFileTimes, ByPathAndByDescriptor) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "x");
  const OS_FILE_TIMES by_path = {1000, 1, 2000, 2};
  EXPECT_EQ(OsSetFileTimes(-1, path.c_str(), &by_path), 0);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000);
  EXPECT_EQ(st.st_mtim.tv_sec, 2000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 2);
  const int fd = open(path.c_str(), O_RDONLY);
  const OS_FILE_TIMES by_fd = {3000, 0, 4000, 0};
  EXPECT_EQ(OsSetFileTimes(fd, nullptr, &by_fd), 0);
  close(fd);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 4000);
  EXPECT_EQ(OsSetFileTimes(-1, dir.file("none").c_str(), &by_path), 1);
  EXPECT_EQ(OsGetLastError(), 11u);
  EXPECT_EQ(OsSetFileTimes(987654, nullptr, &by_path), 1);
  EXPECT_EQ(OsGetLastError(), 34u);
}

// What a lock holder relies on: after the name was removed, or removed and
// made anew, it no longer leads to the file the holder has open.
TEST(OsFileIsAtPath, TellsWhetherTheNameStillLeadsToTheOpenFile) {
  TempDir dir;
  const std::string path = dir.file("lock");
  const std::string other = dir.file("other");
  WriteFile(path, "x");
  WriteFile(other, "x");
  ASSERT_EQ(symlink(path.c_str(), dir.file("link").c_str()), 0);
  OS_FILE* file = OsFileOpen(path.c_str(), nullptr, kOsAccessRead, kOsOpenExisting);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(OsFileIsAtPath(file, path.c_str()));
  EXPECT_TRUE(OsFileIsAtPath(file, dir.file("link").c_str()));
  EXPECT_FALSE(OsFileIsAtPath(file, other.c_str()));
  ASSERT_EQ(unlink(path.c_str()), 0);
  EXPECT_FALSE(OsFileIsAtPath(file, path.c_str()));
  WriteFile(path, "x");
  EXPECT_FALSE(OsFileIsAtPath(file, path.c_str()));
  EXPECT_EQ(OsFileClose(file), 0);
}

}  // namespace
