#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "net/http/http_transport.h"
#include "platform/util/update_errors.h"
#include "scripted_http_fixture.h"
#include "support/loopback_listener.h"
#include "support/net_servers.h"
#include "support/small_tmpfs.h"
#include "support/temp_dir.h"
#include "updater/engine/session/host_fetch_config.h"

// Downloads that fail: an abort from another thread, full disks, a peer that
// breaks the connection, targets that cannot be written.
namespace {

using upd::test::HttpResponse;
using upd::test::LoopbackListener;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::SmallTmpfs;
using upd::test::WriteFile;
using Clock = std::chrono::steady_clock;
namespace script = upd::test::script;

// Whether this process still holds a descriptor of path.
bool HoldsOpen(const std::string& path) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path) return true;
  }
  return false;
}

class HttpDownloadFailureTest : public upd::test::ScriptedHttpTest {
 protected:
  HttpRequestParams Params(const std::string& host) {
    host_text_ = host;
    HttpRequestParams params;
    params.host = host_text_;
    params.path = "/";
    params.file = "f.bin";
    params.skip_head = true;
    return params;
  }

  ScriptedPeer& StartPeer(ScriptedConnection every) {
    return ScriptedHttpTest::StartPeer({}, ScriptedPeer::Options().Otherwise(std::move(every)));
  }
};

TEST_F(HttpDownloadFailureTest, AnAbortFromAnotherThreadStopsATricklingBodyAtOnce) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.listening());
  std::atomic<bool> peer_saw_close{false};
  std::atomic<bool> trickling{false};
  // Announces 10 MB and trickles 100 bytes every 5 ms, watching for the
  // client's close between pieces.
  std::thread server([&] {
    const int fd = listener.Accept();
    if (fd < 0) return;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      request.append(buffer, static_cast<size_t>(n));
    }
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10485760\r\n\r\n";
    if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) < 0) return;
    const std::string piece(100, 'x');
    const auto give_up = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < give_up) {
      trickling = true;
      char probe = 0;
      const ssize_t peek = recv(fd, &probe, 1, MSG_DONTWAIT);
      const bool closed = peek == 0 || (peek < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
      if (closed || send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) {
        peer_saw_close = true;
        return;
      }
      usleep(5000);
    }
  });

  const std::string target = dir_.file("trickle.bin");
  std::atomic<int64_t> aborted_at{0};
  std::thread aborter([&] {
    while (!trickling) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    aborted_at = Clock::now().time_since_epoch().count();
    http_.Abort();
  });
  const UPD_ERROR result =
      http_.DownloadToFile(Params("127.0.0.1:" + std::to_string(listener.port())), target.c_str(),
                           FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr);
  const auto returned = Clock::now();
  aborter.join();

  EXPECT_EQ(result, kUpdStopped);
  EXPECT_LT(returned - Clock::time_point(Clock::duration(aborted_at.load())),
            std::chrono::milliseconds(300));
  EXPECT_FALSE(tcp_.IsConnected());
  EXPECT_FALSE(HoldsOpen(target));
  EXPECT_FALSE(host_.EventsOf(UPD_EVENT_FILE).empty());
  server.join();
  EXPECT_TRUE(peer_saw_close);
}

TEST_F(HttpDownloadFailureTest, AnAbortBeforeTheRequestEndsItWith0x2107) {
  StartPeer({script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", "data"))});
  http_.Abort();
  const std::string target = dir_.file("never.bin");
  EXPECT_EQ(http_.DownloadToFile(Params(peer_->HostPort()), target.c_str(),
                                 FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr),
            kUpdStopped);
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_FALSE(tcp_.IsConnected());
  // The next run starts afresh.
  http_.Reset();
  EXPECT_EQ(http_.DownloadToFile(Params(peer_->HostPort()), target.c_str(),
                                 FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr),
            kUpdOk);
}

TEST_F(HttpDownloadFailureTest, AFullDiskIs0x1020AndTheTargetIsClosed) {
  const std::string body(300000, 'd');
  StartPeer({script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", body))});
  // A device that is always full: written in place, never replaced.
  EXPECT_EQ(http_.DownloadToFile(Params(peer_->HostPort()), "/dev/full",
                                 FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr),
            kUpdDiskFull);
  struct stat info {};
  ASSERT_EQ(stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  SmallTmpfs disk(dir_.file("small"), "64k");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs CAP_SYS_ADMIN)";
  const std::string target = dir_.file("small/f.bin");
  EXPECT_EQ(http_.DownloadToFile(Params(peer_->HostPort()), target.c_str(),
                                 FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr),
            kUpdDiskFull);
  EXPECT_FALSE(HoldsOpen(target));
  EXPECT_FALSE(tcp_.IsConnected());
}

TEST_F(HttpDownloadFailureTest, APartialFileThatDoesNotFitIs0x1020) {
  const std::string partial = dir_.file("partial.bin");
  WriteFile(partial, std::string(100000, 'p'));
  StartPeer({script::ReadRequest(),
             script::Send(HttpResponse("HTTP/1.1 206 Partial Content", "rest",
                                       "Content-Range: bytes 100000-100003/100004\r\n"))});
  SmallTmpfs disk(dir_.file("small"), "64k");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs CAP_SYS_ADMIN)";
  const std::string target = dir_.file("small/f.bin");
  EXPECT_EQ(
      http_.DownloadToFile(Params(peer_->HostPort()), target.c_str(),
                           FetchConfigOf(host_.settings()), &response_, 0, 0, partial.c_str()),
      kUpdDiskFull);
  EXPECT_FALSE(HoldsOpen(target));
  EXPECT_FALSE(HoldsOpen(partial));
}

TEST_F(HttpDownloadFailureTest, APeerThatBreaksTheBodyOffIs0x2105) {
  const std::string body(200000, 'b');
  for (const bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset" : "closed");
    StartPeer(ScriptedConnection{script::ReadRequest(),
                                 script::Send(HttpResponse("HTTP/1.1 200 OK", body))}
                  .CutAfter(100000, reset));
    const std::string target = dir_.file("cut.bin");
    EXPECT_EQ(http_.DownloadToFile(Params(peer_->HostPort()), target.c_str(),
                                   FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr),
              kUpdConnectionClosed);
    EXPECT_FALSE(tcp_.IsConnected());
    EXPECT_FALSE(HoldsOpen(target));
    EXPECT_LT(std::filesystem::file_size(target), body.size());
  }
}

TEST_F(HttpDownloadFailureTest, ATargetThatCannotBeCreatedIs0x1016) {
  StartPeer({script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", "data")),
             script::Stall()});
  // The target is a folder.
  EXPECT_EQ(http_.DownloadToFile(Params(peer_->HostPort()), dir_.path().c_str(),
                                 FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr),
            kUpdOpenFailed);
  EXPECT_FALSE(tcp_.IsConnected());
}

}  // namespace
