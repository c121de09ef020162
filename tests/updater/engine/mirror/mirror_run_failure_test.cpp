#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "mirror_fixture.h"
#include "platform/util/update_errors.h"

namespace upd::test {
namespace {

class MirrorRunFailureTest : public MirrorFixture {
 protected:
  void PublishFirst() { Publish({"--module", "em001:200", "--module", "em002:300"}); }

  std::vector<std::string> Staged() const {
    std::vector<std::string> names;
    for (const auto& [name, content] : Tree(UpdateFolder() + "/tempMirror")) names.push_back(name);
    return names;
  }
};

// A package the server does not have ends the staging: the mirror stays as
// it was, and what was staged is taken, not fetched again, next time.
TEST_F(MirrorRunFailureTest, AMissingPackageLeavesTheMirrorAndKeepsTheStagedOnes) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  const auto before = Tree(MirrorRoot());
  Publish({"--module", "em001:201", "--module", "em002:301"});
  const std::string missing = server_->root() + "/p/em002_64-301.nup";
  const std::string kept = ReadFile(missing);
  fs::remove(missing);

  EXPECT_EQ(Mirror(), kUpdNotFound);
  EXPECT_EQ(MirrorErrors(), std::vector<uint32_t>{kUpdNotFound});
  EXPECT_EQ(Tree(MirrorRoot()), before);
  EXPECT_EQ(Staged().size(), 1u);
  const size_t gets = UpstreamPackageGets().size();

  WriteFile(missing, kept);
  ASSERT_EQ(Mirror(), kUpdOk);
  // Only the package that was missing is fetched.
  EXPECT_EQ(UpstreamPackageGets().size(), gets + 1);
  EXPECT_EQ(MirrorPackages(), Upstream({"em001_64-201.nup", "em002_64-301.nup"}));
  EXPECT_FALSE(fs::exists(UpdateFolder() + "/tempMirror"));
}

// An abort while packages are placed ends the pass: no catalogue is written
// and the old copies stay.
TEST_F(MirrorRunFailureTest, AnAbortWhilePlacingEndsThePass) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  const std::string catalogue = ReadFile(MirrorRoot() + "/update.ver");
  Publish({"--module", "em001:201", "--module", "em002:301"});
  host_.OnEvent(UPD_EVENT_PHASE, [this](uint32_t, void* data) {
    if (*static_cast<uint32_t*>(data) == UPD_PHASE_INSTALLING) UpdAbortUpdate(context_);
    return 0u;
  });
  EXPECT_EQ(Mirror(), kUpdMirrorAborted);
  EXPECT_EQ(MirrorErrors(), std::vector<uint32_t>{kUpdMirrorPassFailed});
  EXPECT_EQ(ReadFile(MirrorRoot() + "/update.ver"), catalogue);
  // The two old packages and the one placed before the abort.
  EXPECT_EQ(MirrorPackages().size(), 3u);
}

// The server refuses (401) the newer package of em001: the staging goes on,
// and the mirror keeps the copy it had, listed and in place.
class RefusedPackageTest : public MirrorRunFailureTest {
 protected:
  NginxServer::Options ServerOptions() const override {
    return NginxServer::Options().ServerConf("location = /p/em001_64-201.nup { return 401; }");
  }
};

TEST_F(RefusedPackageTest, ARefusedReplacementKeepsTheOldCopy) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  const std::vector<size_t> before = MirrorPackages();
  Publish({"--module", "em001:201", "--module", "em002:301"});

  ASSERT_EQ(Mirror(), kUpdOk);

  const std::vector<size_t> after = MirrorPackages();
  ASSERT_EQ(after.size(), 2u);
  const size_t em002 = Upstream({"em002_64-301.nup"})[0];
  EXPECT_EQ(std::count(after.begin(), after.end(), em002), 1);
  size_t kept = 0;
  for (const size_t package : after) kept += std::count(before.begin(), before.end(), package);
  EXPECT_EQ(kept, 1u);
  const std::string catalogue = ReadFile(MirrorRoot() + "/update.ver");
  EXPECT_NE(catalogue.find("build=200"), std::string::npos) << catalogue;
  EXPECT_NE(catalogue.find("build=301"), std::string::npos) << catalogue;
}

}  // namespace
}  // namespace upd::test
