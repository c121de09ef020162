// The catalogue step when the disk fills up and when a server sends more
// than a catalogue can be.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "catalogue_fixture.h"
#include "platform/util/update_errors.h"
#include "support/small_tmpfs.h"
#include "updater/engine/catalogue_buffer.h"

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
  NginxServer web(dir_.file("web"));
  ASSERT_TRUE(web.running());
  // Large enough that the kept copy fits and a second copy does not.
  const std::string catalogue = EngineCatalogue("big") + "; " + std::string(200 * 1024, 'x') + "\r\n";
  web.PutFile("cat/update.ver", catalogue);
  SetServer(web.Url("/cat/"));
  ASSERT_EQ(Fetch(), kUpdOk);

  fs::remove(context_->updVerPath);
  fs::remove(context_->lastUpdVerPath);
  FillDisk(64 * 1024);
  // Not modified: the kept copy is copied to upd.ver, which cannot be done.
  EXPECT_EQ(Fetch(), kUpdDiskFull);
  EXPECT_EQ(context_->lastResult, kUpdDiskFull);
  EXPECT_EQ(web.AccessLog(2).back().status, 304);
  EXPECT_EQ(ReadFile(KeptCopy(web, "/cat/update.ver")), catalogue);

  // The same on the chosen road, where the payload is written from memory.
  fs::remove(dir_.file("data/filler"));
  PutSigned(web, "srv/update.ver.signed", catalogue);
  SetServer("AUTOSELECT");
  SetSecondServer(web.Url("/srv/"));
  fs::remove(context_->updVerPath);
  FillDisk(3 * catalogue.size() + 64 * 1024);  // room for the kept message only
  EXPECT_EQ(Fetch(), kUpdDiskFull);
}

// A body past the bound fails the server that sent it (the next one
// delivers) instead of taking the host's memory.
TEST_F(CatalogueFetchTest, OversizedSignedFormFailsItsServer) {
  NginxServer huge(dir_.file("huge"));
  NginxServer good(dir_.file("good"));
  ASSERT_TRUE(huge.running() && good.running());
  const std::string body = huge.PutFile("srv/update.ver.signed", "");
  fs::resize_file(body, CCatalogueBuffer::kMaxBody + 1);
  huge.PutFile("srv/update.ver", EngineCatalogue("unchecked"));
  good.PutFile("srv/update.ver", EngineCatalogue("good"));
  WriteStore({"DefaultServerCount=1", "DefaultServer0=" + huge.Url("/srv/")});
  SetSecondServer(good.Url("/srv/"));

  ASSERT_EQ(Fetch(), kUpdOk);
  EXPECT_EQ(RunCatalogue(), EngineCatalogue("good"));
  EXPECT_EQ(Requests(huge, "/srv/update.ver"), 0u);
}

}  // namespace
}  // namespace upd::test
