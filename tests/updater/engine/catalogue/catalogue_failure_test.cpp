// The catalogue step when the disk fills up and when a server sends more
// than a catalogue can be.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "catalogue_fixture.h"
#include "platform/util/update_errors.h"
#include "support/small_tmpfs.h"
#include "updater/engine/catalogue/catalogue_buffer.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// The data folder on a small tmpfs of its own.
class CatalogueOnSmallDisk : public CatalogueFetchTest {
 protected:
  void PrepareDataFolder(const std::string& folder) override {
    tmpfs_ = std::make_unique<SmallTmpfs>(folder, "1m");
  }

  // Fills the disk but for about `left` bytes.
  void FillDisk(uintmax_t left) {
    const fs::space_info space = fs::space(dir_.file("data"));
    ASSERT_GT(space.available, left);
    WriteFile(dir_.file("data/filler"), std::string(space.available - left, 'f'));
  }

  std::unique_ptr<SmallTmpfs> tmpfs_;
};

TEST_F(CatalogueOnSmallDisk, DiskFullWhileWritingTheRunCatalogue) {
  if (!tmpfs_->mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  // Large enough that the kept copy fits and a second copy does not.
  const std::string catalogue =
      EngineCatalogue("big") + "; " + std::string(200 * 1024, 'x') + "\r\n";
  web.PutFile("cat/update.ver", catalogue);
  SetServer(web.Url("/cat/"));
  ASSERT_EQ(Fetch(), kUpdOk);

  fs::remove(context_->updVerPath);
  fs::remove(context_->lastUpdVerPath);
  FillDisk(64 * 1024);
  // Not modified: the kept copy is copied to upd.ver, which cannot be done.
  EXPECT_EQ(Fetch(), kUpdDiskFull);
  EXPECT_EQ(context_->lastResult, kUpdDiskFull);
  EXPECT_EQ(web.AccessLog(3).at(2).status, 304);
  EXPECT_EQ(ReadFile(KeptCopy(web, "/cat/update.ver")), catalogue);

  // The same on the chosen road, where the payload is written from memory.
  fs::remove(dir_.file("data/filler"));
  PutSigned(web, "srv/update.ver.signed", catalogue);
  SetServer("AUTOSELECT");
  SetSecondServer(web.Url("/srv/"));
  fs::remove(context_->updVerPath);
  FillDisk(catalogue.size() * 3 / 2);  // room for the kept message only
  EXPECT_EQ(Fetch(), kUpdDiskFull);
}

// A body past the bound fails the server that sent it (the next one
// delivers) instead of taking the host's memory, even when it is a
// well-formed catalogue.
TEST_F(CatalogueFetchTest, OversizedCatalogueFailsItsServer) {
  NginxServer huge(dir_.path().string());
  NginxServer good(dir_.path().string());
  ASSERT_TRUE(huge.running() && good.running());
  const std::string line = "; " + std::string(1021, 'x') + "\r\n";
  std::string body = EngineCatalogue("huge");
  body.reserve(CCatalogueBuffer::kMaxBody + 2 * line.size());
  while (body.size() <= CCatalogueBuffer::kMaxBody) body += line;
  huge.PutFile("srv/update.ver", body);
  body = std::string();
  good.PutFile("srv/update.ver", EngineCatalogue("good"));
  WriteStore({"DefaultServerCount=1", "DefaultServer0=" + huge.Url("/srv/")});
  SetSecondServer(good.Url("/srv/"));

  ASSERT_EQ(Fetch(), kUpdOk);
  EXPECT_EQ(RunCatalogue(), EngineCatalogue("good"));
  EXPECT_GT(Asked(huge, "/srv/update.ver"), 0u);
}

// An abort while a drawn server stalls ends the step with 0x2107; no other
// server is tried after it.
TEST_F(CatalogueFetchTest, AbortWhileADrawnServerStallsEndsTheStep) {
  ScriptedPeer stalling(
      dir_.path().string(), {},
      ScriptedPeer::Options().Otherwise({script::ReadRequest(), script::Stall()}));
  NginxServer good(dir_.path().string());
  ASSERT_TRUE(stalling.running() && good.running());
  good.PutFile("srv/update.ver", EngineCatalogue("good"));
  WriteStore({"DefaultServerCount=1", "DefaultServer0=" + stalling.Url("/srv/")});
  SetSecondServer(good.Url("/srv/"));

  // The abort comes once the request is in and the step waits for the answer.
  std::thread aborter([&] {
    for (int i = 0; i < 500 && stalling.Requests().empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    UpdAbortUpdate(context_);
  });
  const auto start = std::chrono::steady_clock::now();
  const UPD_ERROR result = Fetch();
  aborter.join();
  EXPECT_EQ(result, kUpdStopped);
  // Well before any network timeout of the transport.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(context_->lastResult, kUpdStopped);
  EXPECT_TRUE(good.AccessLog().empty());
  EXPECT_FALSE(fs::exists(context_->updVerPath));
}

// A proxy that cannot be reached ends the step at once unless the settings
// allow the direct way, which the transport then takes. The second server
// is a local folder, which no proxy stands between.
TEST_F(CatalogueFetchTest, UnreachableProxyEndsTheStepUnlessDirectRetryIsAllowed) {
  struct Case {
    uint32_t direct_retry;
    bool delivered;
  };
  for (const Case c : {Case{0, false}, Case{1, true}}) {
    SCOPED_TRACE(c.direct_retry);
    NginxServer drawn(dir_.path().string());
    ScriptedPeer gone(dir_.path().string(), {});
    ASSERT_TRUE(drawn.running() && gone.running());
    const uint16_t dead_port = gone.port();
    gone.Stop();
    drawn.PutFile("srv/update.ver", EngineCatalogue("drawn"));
    const std::string second = dir_.file("second" + std::to_string(c.direct_retry)) + "/";
    fs::create_directories(second);
    WriteFile(second + "update.ver", EngineCatalogue("second"));
    WriteStore({"DefaultServerCount=1", "DefaultServer0=" + drawn.Url("/srv/")});
    SetSecondServer("file:" + second);
    settings()->proxyEnabled = 1;
    SetField(settings()->proxyHost, "127.0.0.1");
    settings()->proxyPort = dead_port;
    settings()->proxyDirectRetry = c.direct_retry;

    const UPD_ERROR result = Fetch();
    if (c.delivered) {
      EXPECT_EQ(result, kUpdOk);
      EXPECT_EQ(RunCatalogue(), EngineCatalogue("drawn"));
    } else {
      EXPECT_TRUE(result == kUpdServerUnreachable || result == kUpdCannotConnect)
          << std::hex << result;
      EXPECT_TRUE(drawn.AccessLog().empty());
      EXPECT_FALSE(fs::exists(context_->updVerPath));
    }
  }
}

}  // namespace
}  // namespace upd::test
