#include "platform/os/os_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/os/os_error.h"
#include "support/temp_dir.h"

namespace {

using upd::test::ReadFile;
using upd::test::RunCommand;
using upd::test::TempDir;
using upd::test::WriteFile;

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// flock(1) holding a lock on a file from another process until destroyed (or
// until its command ends).
class LockHolder {
 public:
  LockHolder(const std::string& path, const char* mode, const char* hold_seconds = "60") {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    // Built before fork: the child only makes async-signal-safe calls.
    const std::string script = std::string("echo held; exec sleep ") + hold_seconds;
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      dup2(fds[1], 1);
      close(fds[0]);
      // -o keeps the lock in flock itself, so it ends when flock is reaped.
      execlp("flock", "flock", "-o", mode, path.c_str(), "sh", "-c", script.c_str(), nullptr);
      _exit(127);
    }
    close(fds[1]);
    char line[8] = {};
    EXPECT_EQ(read(fds[0], line, 5), 5) << "flock did not take the lock";
    close(fds[0]);
  }
  ~LockHolder() {
    kill(-pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  pid_t pid_ = -1;
};

std::string ReadAll(OS_FILE* file) {
  std::string out;
  char block[4096];
  int64_t n = 0;
  while ((n = OsFileRead(file, block, sizeof block)) > 0) out.append(block, static_cast<size_t>(n));
  return out;
}

TEST(OsFileOpen, RefusesBadAccessWordsAndDispositions) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "x");
  struct Case {
    uint32_t access;
    uint32_t disposition;
  };
  const Case cases[] = {{4, kOsOpenExisting},
                        {0x40 | 1, kOsOpenExisting},
                        {0x80 | 2, kOsOpenExisting},
                        {0x20000000, kOsOpenExisting},
                        {1, 0},
                        {2, 6},
                        {3, 0xFFFFFFFF}};
  for (const auto& c : cases) {
    OsSetLastError(kOsDomainErrno, 0);
    EXPECT_EQ(OsFileOpen(path.c_str(), nullptr, c.access, c.disposition), nullptr)
        << std::hex << c.access << " " << c.disposition;
    EXPECT_EQ(OsGetLastError(), 10u) << std::hex << c.access << " " << c.disposition;
  }
  EXPECT_EQ(OsFileOpen(nullptr, nullptr, 1, kOsOpenExisting), nullptr);
  EXPECT_EQ(OsGetLastError(), 10u);
}

TEST(OsFileOpen, IgnoresTheReservedAccessBits) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "content");
  for (uint32_t access : {0u, 1u, 0x30u | 1u, 0x10000u | 1u, 0x800000u}) {
    OS_FILE* f = OsFileOpen(path.c_str(), nullptr, access, kOsOpenExisting);
    ASSERT_NE(f, nullptr) << std::hex << access;
    EXPECT_EQ(ReadAll(f), "content");
    EXPECT_EQ(OsFileClose(f), 0);
  }
}

TEST(OsFileOpen, DispositionsCreateTruncateOrRequireTheFile) {
  struct Case {
    const char* name;
    bool exists;
    uint32_t disposition;
    bool opens;
    uint32_t code;
    const char* content_after;  // null: the file must not exist
  };
  const Case cases[] = {
      {"create_new_fresh", false, kOsCreateNew, true, 0, ""},
      {"create_new_existing", true, kOsCreateNew, false, 38, "old"},
      {"create_always_fresh", false, kOsCreateAlways, true, 0, ""},
      {"create_always_existing", true, kOsCreateAlways, true, 0, ""},
      {"open_existing", true, kOsOpenExisting, true, 0, "old"},
      {"open_existing_missing", false, kOsOpenExisting, false, 11, nullptr},
      {"open_always_existing", true, kOsOpenAlways, true, 0, "old"},
      {"open_always_missing", false, kOsOpenAlways, true, 0, ""},
      {"truncate_existing", true, kOsTruncateExisting, true, 0, ""},
      {"truncate_missing", false, kOsTruncateExisting, false, 11, nullptr},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir.file("f");
    if (c.exists) WriteFile(path, "old");
    OS_FILE* f = OsFileOpen(path.c_str(), nullptr, kOsAccessWrite, c.disposition);
    EXPECT_EQ(f != nullptr, c.opens) << c.name;
    if (!c.opens) {
      EXPECT_EQ(OsGetLastError(), c.code) << c.name;
    }
    EXPECT_EQ(OsFileClose(f), 0);
    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    EXPECT_EQ(exists, c.content_after != nullptr) << c.name;
    if (c.content_after != nullptr) {
      EXPECT_EQ(ReadFile(path), c.content_after) << c.name;
    }
    if (exists && !c.exists) {
      EXPECT_EQ(st.st_mode & 0777, 0600u) << c.name;
    }
  }
}

TEST(OsFileOpen, FollowsLinksUnlessAsked) {
  TempDir dir;
  WriteFile(dir.file("target"), "t");
  ASSERT_EQ(symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
  OS_FILE* f = OsFileOpen(dir.file("link").c_str(), nullptr, 1, kOsOpenExisting);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ReadAll(f), "t");
  OsFileClose(f);
  EXPECT_EQ(OsFileOpen(dir.file("link").c_str(), nullptr, kOsAccessNoFollow | 1, kOsOpenExisting),
            nullptr);
  EXPECT_EQ(OsGetLastError(), 53u);  // ELOOP
}

TEST(OsFileOpen, MarksTheDescriptorCloseOnExec) {
  TempDir dir;
  OS_FILE* f = OsFileOpen(dir.file("f").c_str(), nullptr, 2, kOsCreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_NE(fcntl(fileno(f->stream), F_GETFD) & FD_CLOEXEC, 0);
  OsFileClose(f);
}

TEST(OsFileOpen, UnbufferedStreamsWriteThrough) {
  TempDir dir;
  const std::string path = dir.file("f");
  OS_FILE* f = OsFileOpen(path.c_str(), nullptr, kOsAccessUnbuffered | 2, kOsCreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->flags, kOsFileUnbuffered);
  EXPECT_EQ(OsFileWrite(f, "abc", 3), 3);
  EXPECT_EQ(ReadFile(path), "abc");  // seen before any flush
  OsFileClose(f);
  OS_FILE* buffered = OsFileOpen(path.c_str(), nullptr, 2, kOsCreateAlways);
  ASSERT_NE(buffered, nullptr);
  EXPECT_EQ(buffered->flags, 0u);
  EXPECT_EQ(OsFileWrite(buffered, "abc", 3), 3);
  EXPECT_EQ(ReadFile(path), "");
  OsFileClose(buffered);
  EXPECT_EQ(ReadFile(path), "abc");
}

TEST(OsFileOpenLock, BusyExclusiveLockFailsAtOnceAndLeavesTheHoldersFile) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "the holder's content");
  LockHolder holder(path, "-x");
  for (uint32_t disposition : {kOsCreateAlways, kOsTruncateExisting, kOsOpenExisting}) {
    const auto start = Clock::now();
    EXPECT_EQ(OsFileOpen(path.c_str(), nullptr, kOsAccessLock | 2, disposition), nullptr);
    EXPECT_LT(MsSince(start), 180) << "an immediate lock must not wait";
    EXPECT_EQ(OsGetLastError(), 15u);
    EXPECT_EQ(ReadFile(path), "the holder's content") << disposition;
  }
  // Without the lock bit nothing waits for the holder.
  OS_FILE* f = OsFileOpen(path.c_str(), nullptr, 1, kOsOpenExisting);
  ASSERT_NE(f, nullptr);
  OsFileClose(f);
}

TEST(OsFileOpenLock, TruncatesOnceTheLockIsHeld) {
  TempDir dir;
  const std::string path = dir.file("f");
  // Read access with a truncating disposition still truncates, as open(2) does.
  for (uint32_t access : {kOsAccessLock | 1u, kOsAccessLock | 2u, kOsAccessLock | 3u}) {
    WriteFile(path, "old content");
    OS_FILE* f = OsFileOpen(path.c_str(), nullptr, access, kOsTruncateExisting);
    ASSERT_NE(f, nullptr) << access;
    EXPECT_EQ(ReadFile(path), "") << access;
    OsFileClose(f);
  }
}

TEST(OsFileOpenLock, WaitGivesUpAfterTheTimeout) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "keep");
  LockHolder holder(path, "-x");
  const auto start = Clock::now();
  EXPECT_EQ(OsFileOpenWait(path.c_str(), nullptr, kOsAccessLock | 2, kOsCreateAlways, 500),
            nullptr);
  const int64_t elapsed = MsSince(start);
  EXPECT_GE(elapsed, 400);
  EXPECT_LT(elapsed, 3000);
  EXPECT_EQ(OsGetLastError(), 15u);
  EXPECT_EQ(ReadFile(path), "keep");
  const auto once = Clock::now();
  EXPECT_EQ(OsFileOpenWait(path.c_str(), nullptr, kOsAccessLock | 2, kOsOpenExisting, 0), nullptr);
  EXPECT_LT(MsSince(once), 180) << "a timeout of 0 tries once";
}

TEST(OsFileOpenLock, WaitSucceedsOnceTheHolderLetsGo) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "old");
  LockHolder holder(path, "-x", "0.3");  // released long before the timeout
  OS_FILE* f = OsFileOpenWait(path.c_str(), nullptr, kOsAccessLock | 2, kOsCreateAlways, 2000);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ReadFile(path), "");  // truncated once the lock was ours
  OsFileClose(f);
}

TEST(OsFileOpenLock, ReadersShareAndWritersExclude) {
  TempDir dir;
  const std::string path = dir.file("locked");
  WriteFile(path, "data");
  {
    LockHolder reader(path, "-s");
    OS_FILE* f = OsFileOpen(path.c_str(), nullptr, kOsAccessLock | 1, kOsOpenExisting);
    ASSERT_NE(f, nullptr) << "shared locks coexist";
    OsFileClose(f);
    EXPECT_EQ(OsFileOpen(path.c_str(), nullptr, kOsAccessLock | 3, kOsOpenExisting), nullptr);
    EXPECT_EQ(OsGetLastError(), 15u);
  }
  // And the other way round: flock(1) sees the lock this layer holds.
  OS_FILE* mine = OsFileOpen(path.c_str(), nullptr, kOsAccessLock | 2, kOsOpenExisting);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(RunCommand("flock -n -s " + path + " true"), 1);
  OsFileClose(mine);
  EXPECT_EQ(RunCommand("flock -n -x " + path + " true"), 0);
  OS_FILE* shared = OsFileOpen(path.c_str(), nullptr, kOsAccessLock | 1, kOsOpenExisting);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(RunCommand("flock -n -s " + path + " true"), 0);
  EXPECT_EQ(RunCommand("flock -n -x " + path + " true"), 1);
  OsFileClose(shared);
}

class FdPath : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(path_, "0123456789"); }
  std::string FdName(int fd) const { return "/dev/fd/" + std::to_string(fd); }
  TempDir dir_;
  std::string path_ = dir_.file("f");
};

TEST_F(FdPath, RefusesDescriptorsThatDoNotAllowTheAccess) {
  struct Case {
    int open_flags;
    uint32_t access;
  };
  const Case cases[] = {{O_RDONLY, 2}, {O_RDONLY, 3},          {O_WRONLY, 1},
                        {O_WRONLY, 3}, {O_RDWR | O_APPEND, 2}, {O_WRONLY | O_APPEND, 2}};
  for (const auto& c : cases) {
    const int fd = open(path_.c_str(), c.open_flags);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(OsFileOpen(FdName(fd).c_str(), nullptr, c.access, kOsOpenExisting), nullptr)
        << std::hex << c.open_flags << " " << c.access;
    EXPECT_EQ(OsGetLastError(), 13u);
    close(fd);
  }
  EXPECT_EQ(OsFileOpen("/dev/fd/987654", nullptr, 1, kOsOpenExisting), nullptr);
  EXPECT_EQ(OsGetLastError(), 13u);
}

TEST_F(FdPath, WorksOnADuplicateFromTheStart) {
  const int fd = open(path_.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(lseek(fd, 4, SEEK_SET), 4);
  OS_FILE* f = OsFileOpen(FdName(fd).c_str(), nullptr, kOsAccessLock | 3, kOsOpenExisting);
  ASSERT_NE(f, nullptr);
  EXPECT_NE(fileno(f->stream), fd);
  EXPECT_EQ(ReadAll(f), "0123456789");
  EXPECT_EQ(OsFileClose(f), 0);
  EXPECT_NE(fcntl(fd, F_GETFD), -1) << "closing the handle leaves N open";
  // A truncating disposition empties the file behind N.
  OS_FILE* t = OsFileOpen(FdName(fd).c_str(), nullptr, 2, kOsCreateAlways);
  ASSERT_NE(t, nullptr);
  OsFileClose(t);
  EXPECT_EQ(ReadFile(path_), "");
  close(fd);
}

TEST(OsFileReadWrite, SwitchingDirectionKeepsThePosition) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "hello world");
  OS_FILE* f = OsFileOpen(path.c_str(), nullptr, 3, kOsOpenExisting);
  ASSERT_NE(f, nullptr);
  char b[8] = {};
  EXPECT_EQ(OsFileRead(f, b, 5), 5);
  EXPECT_EQ(f->last_op, kOsFileOpRead);
  EXPECT_EQ(OsFileWrite(f, "!!", 2), 2);
  EXPECT_EQ(f->last_op, kOsFileOpWrite);
  EXPECT_EQ(OsFileRead(f, b, 4), 4);
  EXPECT_EQ(std::string(b, 4), "orld");
  EXPECT_EQ(OsFileRead(f, b, 4), 0) << "end of file";
  EXPECT_EQ(OsFileClose(f), 0);
  EXPECT_EQ(ReadFile(path), "hello!!orld");
}

TEST(OsFileReadWrite, SeekTruncateAndSize) {
  TempDir dir;
  const std::string path = dir.file("f");
  OS_FILE* f = OsFileOpen(path.c_str(), nullptr, 3, kOsCreateAlways);
  ASSERT_NE(f, nullptr);
  const std::string data(100, 'a');
  EXPECT_EQ(OsFileWrite(f, data.data(), data.size()), 100);
  EXPECT_EQ(OsFileGetSize(f), 100) << "buffered output counts";
  EXPECT_EQ(OsFileSeek(f, -10, 2), 90);
  EXPECT_EQ(OsFileSeek(f, 5, 1), 95);
  EXPECT_EQ(OsFileSeek(f, 7, 0), 7);
  EXPECT_EQ(f->last_op, kOsFileOpNone);
  EXPECT_EQ(OsFileTruncate(f, 10), 0);
  EXPECT_EQ(OsFileSeek(f, 0, 1), 10) << "truncation moves to the new end";
  EXPECT_EQ(OsFileWrite(f, "x", 1), 1);
  EXPECT_EQ(OsFileFlush(f), 0);
  EXPECT_EQ(OsFileGetSize(f), 11);
  EXPECT_EQ(OsFileSeek(f, -1, 0), -1);
  EXPECT_EQ(OsGetLastError(), 10u);
  EXPECT_EQ(OsFileClose(f), 0);
  EXPECT_EQ(ReadFile(path), std::string(10, 'a') + "x");
}

TEST(OsFileReadWrite, ReadFullyStopsAtTheEnd) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, std::string(10000, 'z'));
  OS_FILE* f = OsFileOpen(path.c_str(), nullptr, 1, kOsOpenExisting);
  ASSERT_NE(f, nullptr);
  std::vector<char> b(20000);
  EXPECT_EQ(OsFileReadFully(f, b.data(), 6000), 6000);
  EXPECT_EQ(OsFileReadFully(f, b.data(), 6000), 4000);
  EXPECT_EQ(OsFileReadFully(f, b.data(), 6000), 0);
  OsFileClose(f);
}

TEST(OsFileReadWrite, ReportsFailuresOfTheDescriptor) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "abc");
  // Reading a write-only stream fails; writing a read-only one does too.
  OS_FILE* w = OsFileOpen(path.c_str(), nullptr, 2, kOsOpenExisting);
  ASSERT_NE(w, nullptr);
  char b[4];
  EXPECT_EQ(OsFileRead(w, b, 3), -1);
  EXPECT_EQ(OsGetLastError(), 34u);  // EBADF
  OsFileClose(w);
  OS_FILE* r = OsFileOpen(path.c_str(), nullptr, 1, kOsOpenExisting);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(OsFileWrite(r, std::string(10000, 'x').data(), 10000), -1);
  EXPECT_EQ(OsGetLastError(), 34u);
  OsFileClose(r);
  EXPECT_EQ(OsFileClose(nullptr), 0);
}

TEST(OsFileReadWrite, DiskFullIsCode93) {
  OS_FILE* full = OsFileOpen("/dev/full", nullptr, 2, kOsOpenExisting);
  ASSERT_NE(full, nullptr);
  const std::string block(64 * 1024, 'f');
  EXPECT_EQ(OsFileWrite(full, block.data(), block.size()), -1);
  EXPECT_EQ(OsGetLastError(), 93u);
  OsFileClose(full);
  // A small write lands in the buffer; the flush reports the full device.
  full = OsFileOpen("/dev/full", nullptr, 2, kOsOpenExisting);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(OsFileWrite(full, "x", 1), 1);
  EXPECT_EQ(OsFileFlush(full), -1);
  EXPECT_EQ(OsGetLastError(), 93u);
  OsFileClose(full);
}

TEST(OsFileNamedStream, EveryOperationIsUnsupported) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "main");
  // {tag 25, length 4, "name"}, then the end record.
  const uint32_t words[] = {25, 4, 0x656d616e, 0, 0};
  const auto* list = reinterpret_cast<const OS_ATTRIBUTE_LIST*>(words);
  OS_FILE* f = OsFileOpen(path.c_str(), list, 3, kOsCreateAlways);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->stream_name, "name");
  EXPECT_EQ(ReadFile(path), "main") << "a named stream never truncates the file";
  char b[4];
  EXPECT_EQ(OsFileRead(f, b, 4), -1);
  EXPECT_EQ(OsGetLastError(), 1u);
  EXPECT_EQ(OsFileWrite(f, "x", 1), -1);
  EXPECT_EQ(OsFileGetSize(f), -1);
  EXPECT_EQ(OsFileTruncate(f, 0), -1);
  OsFileClose(f);
}

}  // namespace
