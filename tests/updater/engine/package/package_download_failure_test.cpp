#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "download_fixture.h"
#include "platform/util/update_errors.h"
#include "support/small_tmpfs.h"
#include "updater/engine/package/package_download.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

class PackageDownloadFailure : public PackageDownloadTest {
 protected:
  // An abort reaches every socket of the process: clear it for the next test.
  void TearDown() override {
    if (run_ != nullptr) run_->session->Reset();
  }
};

// UpdAbortUpdate from another thread reaches the step through the session:
// the running download ends with 0x2107, its file goes, and no connection
// stays open.
TEST_F(PackageDownloadFailure, AnAbortEndsTheRunningDownload) {
  const std::string size = std::to_string(1 << 20);
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Length: " + size + "\r\nConnection: close\r\n\r\n";
  ScriptedPeer peer(dir_.path().string(),
                    {ScriptedConnection{script::ReadRequest(), script::Send(head), script::Close()},
                     ScriptedConnection{script::ReadRequest(),
                                        script::Send(head + std::string(4096, 'p')),
                                        script::Stall()}});
  ASSERT_TRUE(peer.running());
  Add(lists().updateList, "em001_64", peer.Url("/big.nup"), 1 << 20);
  Add(lists().updateList, "em002_64", peer.Url("/next.nup"), 10);
  std::atomic<bool> receiving{false};
  host_.OnEvent(UPD_EVENT_FILE, [&](uint32_t, void*) {
    receiving = true;
    return 0u;
  });
  std::thread aborter([&] {
    for (int i = 0; i < 1000 && !receiving; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run_->session->Abort();
  });

  const UPD_ERROR result = Download();
  aborter.join();

  EXPECT_TRUE(receiving);
  EXPECT_EQ(result, kUpdStopped);
  const _COMPONENT_INFO& entry = lists().updateList[0];
  EXPECT_NE(entry.flags & kComponentDownloadFailed, 0u);
  EXPECT_FALSE(fs::exists(entry.localFile));
  EXPECT_EQ(lists().updateList[1].flags, kComponentHasBuild | kComponentSelected);
  EXPECT_TRUE(PackagesIn(Updfiles()).empty());
  EXPECT_EQ(EstablishedTo(peer.port()), 0);
  EXPECT_EQ(run_->resultFlags, 0u);
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_PACKAGES_DOWNLOADED).empty());
}

// A full disk fails the package with 0x1020 and leaves no package that
// could pass for a whole one; once there is room, the next run completes it.
TEST_F(PackageDownloadFailure, AFullDiskLeavesNoHalfPackage) {
  SmallTmpfs disk(dir_.file("small"), "2m");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  MakeParts(dir_.file("small/data"));
  NginxServer web(dir_.path().string(), NginxServer::Options().ServerConf("gzip off;"));
  ASSERT_TRUE(web.running());
  const std::string bytes = Serve(web, "big.nup", "em001_64", std::string(1200 * 1024, 'p'));
  const std::string filler = dir_.file("small/filler");
  WriteFile(filler, std::string(1500 * 1024, 'f'));
  Add(lists().updateList, "em001_64", web.Url("/big.nup"), bytes.size());

  EXPECT_EQ(Download(), kUpdDiskFull);

  _COMPONENT_INFO& entry = lists().updateList[0];
  EXPECT_NE(entry.flags & kComponentDownloadFailed, 0u);
  EXPECT_FALSE(fs::exists(entry.localFile));
  EXPECT_TRUE(PackagesIn(Updfiles()).empty());
  EXPECT_EQ(run_->resultFlags, 0u);
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_PACKAGES_DOWNLOADED).empty());

  fs::remove(filler);
  entry.flags = kComponentHasBuild | kComponentSelected;
  entry.url = web.Url("/big.nup");
  ASSERT_EQ(Download(), kUpdOk);
  EXPECT_TRUE(FileHolds(entry.localFile, bytes));
  EXPECT_EQ(run_->resultFlags, kResultPackageDownloaded);
}

}  // namespace
}  // namespace upd::test
