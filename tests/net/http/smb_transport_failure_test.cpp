#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "net/http/smb_transport.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "updater/engine/session/host_fetch_config.h"

// Targets that cannot be written and sources the caller may not read.
namespace {

using upd::test::WriteFile;
using upd::testhost::EventHost;

constexpr uint32_t kFileEvent = 3;
// The unprivileged user a forked child turns into.
constexpr uid_t kNobody = 65534;

TEST(SmbTransportFailure, AFullDeviceTargetIs0x1020AndStaysADevice) {
  upd::test::TempDir dir;
  const std::string source = dir.file("source.bin");
  WriteFile(source, std::string(10000, 'x'));
  EventHost host;
  CSmbTransport transport;

  EXPECT_EQ(transport.Download(FetchConfigOf(host.settings()), source.c_str(), "/dev/full", 0, 1,
                               nullptr),
            kUpdDiskFull);
  struct stat info {};
  ASSERT_EQ(stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  // The host still hears of both halves.
  EXPECT_EQ(host.EventsOf(kFileEvent).size(), 2u);
}

TEST(SmbTransportFailure, ATargetThatCannotBeOpenedIs0x1016) {
  upd::test::TempDir dir;
  const std::string source = dir.file("source.bin");
  WriteFile(source, "abc");
  EventHost host;
  CSmbTransport transport;

  // The target is a folder.
  EXPECT_EQ(transport.Download(FetchConfigOf(host.settings()), source.c_str(), dir.path().c_str(),
                               0, 1, nullptr),
            kUpdOpenFailed);
  EXPECT_EQ(host.EventsOf(kFileEvent).size(), 1u);
}

TEST(SmbTransportFailure, ASourceTheCallerMayNotReadIs0x2001) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  upd::test::TempDir dir;  // mode 0700: nobody cannot enter it
  const std::string source = dir.file("private.bin");
  WriteFile(source, "secret");

  int results[2];
  ASSERT_EQ(pipe(results), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    UPD_ERROR result = 0;
    if (setgid(kNobody) == 0 && setuid(kNobody) == 0) {
      CBuffer buffer;
      CSmbTransport transport;
      result = transport.Download({}, source.c_str(), nullptr, 0, 0, &buffer);
    }
    _exit(write(results[1], &result, sizeof result) == sizeof result ? 0 : 1);
  }
  close(results[1]);
  UPD_ERROR result = 0;
  const ssize_t got = read(results[0], &result, sizeof result);
  close(results[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof result));
  EXPECT_EQ(result, kUpdAccessDenied);
}

}  // namespace
