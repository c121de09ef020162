// Servers that never end a pico's sequence, and an abort in the middle of it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pico_fixture.h"
#include "support/small_tmpfs.h"
#include "platform/util/update_errors.h"
#include "updater/pico/pico_manager.h"

namespace upd::test {
namespace {

using testhost::PicoFileText;

// nginx answers every number of pico 12 below 5000 with a valid file of
// that number: more than one update may fetch.
constexpr uint32_t kServedBelow = 5000;

NginxServer::Options EndlessPico() {
  return NginxServer::Options().ServerConf(
      "location ~ \"^/pico/12/([1-4]?[0-9]{1,3})\\.pic$\" { default_type application/octet-stream; "
      "return 200 \"PICO id=12 seq=$1\\n\"; }");
}

class PicoEndlessTest : public PicoExportsFixture {
 protected:
  void SetUp() override {
    endless_ = std::make_unique<NginxServer>(dir_.path().string(), EndlessPico());
    ASSERT_TRUE(endless_->running());
    PicoExportsFixture::SetUp();
    const std::string server = endless_->Url("/");
    std::memcpy(host_.settings()->updateServer, server.c_str(), server.size() + 1);
    Announce(1);
    ListPicos();
  }

  size_t PicoFiles() const { return Entries(Folder()).size(); }

  std::unique_ptr<NginxServer> endless_;
};

TEST_F(PicoEndlessTest, StopsAtTheBoundKeepingWhatArrived) {
  ASSERT_EQ(Perform(), kUpdOk);
  const std::vector<std::string> files = Entries(Folder());
  EXPECT_EQ(files.size(), kMaxPicoFilesPerUpdate);
  EXPECT_TRUE(std::filesystem::exists(Folder() + "/1.pic"));
  EXPECT_TRUE(std::filesystem::exists(Folder() + "/4096.pic"));
  EXPECT_FALSE(std::filesystem::exists(Folder() + "/4097.pic"));
  // The next call goes on from there to the end of what the server has.
  ASSERT_EQ(Perform(), kUpdOk);
  EXPECT_EQ(PicoFiles(), kServedBelow - 1);
  EXPECT_EQ(Perform(), kUpdNothingNew);
}

TEST_F(PicoEndlessTest, AnAbortWhileTheLocalFilesAreCheckedReleasesTheEngineAndTheLock) {
  for (uint32_t n = 1; n <= 3; ++n) PutLocal(n, n);
  bool aborted = false;
  host_.OnEvent(UPD_EVENT_ENGINE, [&](uint32_t id, void* data) {
    uint32_t answer = 0;
    engine_.HandleEvent(id, data, &answer);
    if (!aborted) LIB(UpdAbortUpdate)(context_);
    aborted = true;
    return answer;
  });
  EXPECT_EQ(Perform(), kUpdInstallAborted);
  EXPECT_TRUE(endless_->AccessLog().empty());
  EXPECT_EQ(PicoFiles(), 3u);
  // The engine went back (checked on tear-down) and the context is free.
  EXPECT_EQ(LIB(UpdCleanupModules)(context_, host_.settings()), kUpdDeleteFailed);
}

TEST_F(PicoEndlessTest, AnAbortEndsTheSequenceAndKeepsTheFilesThatArrived) {
  constexpr size_t kAbortAfter = 20;
  size_t requests = 0;
  // The host aborts while it hands out the engine for the 20th check.
  host_.OnEvent(UPD_EVENT_ENGINE, [&](uint32_t id, void* data) {
    uint32_t answer = 0;
    engine_.HandleEvent(id, data, &answer);
    if (++requests == kAbortAfter) LIB(UpdAbortUpdate)(context_);
    return answer;
  });
  const UPD_ERROR result = Perform();
  EXPECT_NE(result, kUpdOk);
  EXPECT_NE(result, kUpdNothingNew);
  // The first request listed the local files; the others checked one file
  // each, the last of them after the abort came.
  EXPECT_EQ(PicoFiles(), kAbortAfter - 1);
  EXPECT_FALSE(std::filesystem::exists(Folder() + "/" + std::to_string(kAbortAfter) + ".pic"));
  for (const std::string& name : Entries(Folder())) {
    EXPECT_EQ(name.find("_new"), std::string::npos) << name;
  }
}

// The pico root on a small tmpfs.
class PicoFullDiskTest : public PicoExportsFixture {
 protected:
  void SetUp() override {
    tmpfs_ = std::make_unique<SmallTmpfs>(PicoRoot(), "64k");
    if (!tmpfs_->mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here (needs root)";
    PicoExportsFixture::SetUp();
  }
  void TearDown() override {
    if (context_ != nullptr) PicoExportsFixture::TearDown();
    tmpfs_.reset();
  }

  std::unique_ptr<SmallTmpfs> tmpfs_;
};

TEST_F(PicoFullDiskTest, AFileThatDoesNotFitEndsTheUpdateAndLeavesNoTemporaryFile) {
  Announce(5);
  Serve(5, 5);
  web_.PutFile("pico/12/6.pic", PicoFileText(kId, 6) + std::string(256 * 1024, 'x'));
  ListPicos();
  EXPECT_EQ(Perform(), kUpdDiskFull);
  EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"5.pic"});

  // Once the file fits, the update goes on from there.
  Serve(6, 6);
  EXPECT_EQ(Perform(), kUpdOk);
  EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"5.pic", "6.pic"}));
}

}  // namespace
}  // namespace upd::test
