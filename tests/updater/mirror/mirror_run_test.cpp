#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "mirror_fixture.h"
#include "platform/util/update_errors.h"

namespace upd::test {
namespace {

class MirrorRunTest : public MirrorFixture {
 protected:
  void PublishFirst() { Publish({"--module", "em001:200", "--module", "em002:300"}); }
};

TEST_F(MirrorRunTest, AMirrorServesAnotherInstallationLikeItsUpstream) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  // The first run into an empty mirror says so and still mirrors everything.
  EXPECT_EQ(MirrorErrors(), std::vector<uint32_t>{0x3401});
  EXPECT_EQ(MirrorPackages(), Upstream({"em001_64-200.nup", "em002_64-300.nup"}));
  const std::string catalogue = ReadFile(MirrorRoot() + "/update.ver");
  const std::regex section("\\[em00[12]_64\\][^\\[]*file=zel[0-9A-F]{8}\\.nup\\r\\n");
  EXPECT_EQ(std::distance(std::sregex_iterator(catalogue.begin(), catalogue.end(), section),
                          std::sregex_iterator()),
            2)
      << catalogue;
  EXPECT_NE(catalogue.find("[UP_HASH]\r\nhash=000102030405060708090A0B0C0D0E0F10111213\r\n"),
            std::string::npos)
      << catalogue;
  for (const auto& [name, content] : Tree(MirrorRoot())) {
    if (name.starts_with("zel") || name == "update.ver") {
      EXPECT_EQ(ModeOf(MirrorRoot() + "/" + name), 0644u) << name;
    }
  }
  EXPECT_FALSE(fs::exists(UpdateFolder() + "/tempMirror"));
  EXPECT_FALSE(fs::exists(MirrorRoot() + "/dll/update.ver"));

  // This installation updates from upstream, a second one from the mirror.
  ASSERT_EQ(Run(), kUpdOk);
  auto second = std::make_unique<UPDATER_SETTINGS>(*host_.settings());
  SetText(second->updateServer, mirror_web_->Url());
  second->mirrorSettings = nullptr;
  SetText(second->settingsStore, "file://" + dir_.file("second.ini"));
  fs::create_directories(dir_.file("modules2"));
  UPDATER_CONTEXT* other = UpdInitialize(dir_.file("data2").c_str(),
                                         dir_.file("modules2").c_str(), "1.0", "host");
  ASSERT_NE(other, nullptr);
  uint32_t flags = 0;
  EXPECT_EQ(UpdPerformUpdate(other, second.get(), &flags), kUpdOk);
  UpdUninitialize(other);
  const auto modules = Tree(Modules());
  EXPECT_EQ(Names(modules), (std::vector<std::string>{"em001_64.dat", "em002_64.dat"}));
  EXPECT_EQ(Tree(dir_.file("modules2")), modules);
  EXPECT_FALSE(mirror_web_->AccessLog(2).empty());
}

TEST_F(MirrorRunTest, ARerunFetchesNothingAndANewerPackageReplacesTheOld) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  const std::vector<std::string> first_gets = UpstreamPackageGets();
  EXPECT_EQ(first_gets.size(), 2u);
  ASSERT_EQ(Mirror(), kUpdOk);
  EXPECT_EQ(UpstreamPackageGets(), first_gets);
  EXPECT_TRUE(MirrorErrors().empty());
  EXPECT_EQ(MirrorPackages(), Upstream({"em001_64-200.nup", "em002_64-300.nup"}));

  // Published again, em002 is the same package in new bytes: the mirror's
  // copy stays.
  const size_t em002 = Upstream({"em002_64-300.nup"})[0];
  Publish({"--module", "em001:201", "--module", "em002:300"});
  ASSERT_EQ(Mirror(), kUpdOk);
  std::vector<size_t> expected = {Upstream({"em001_64-201.nup"})[0], em002};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(MirrorPackages(), expected);
  const std::string catalogue = ReadFile(MirrorRoot() + "/update.ver");
  EXPECT_NE(catalogue.find("build=201"), std::string::npos) << catalogue;
  EXPECT_EQ(catalogue.find("build=200"), std::string::npos) << catalogue;
}

// A package whose signature or CRC-32 fails is never published: a new one
// stays out, and the copy it was to replace stays listed and in place.
TEST_F(MirrorRunTest, ATamperedPackageIsNotPublished) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  const std::vector<size_t> before = MirrorPackages();
  Publish({"--module", "em001:201", "--module", "em002:300"});
  Repack("em001_64", 201, {std::nullopt, {}, "flip-payload"});
  ASSERT_EQ(Mirror(), kUpdOk);
  EXPECT_EQ(MirrorPackages(), before);
  const std::string catalogue = ReadFile(MirrorRoot() + "/update.ver");
  EXPECT_NE(catalogue.find("build=200"), std::string::npos) << catalogue;
  EXPECT_EQ(catalogue.find("build=201"), std::string::npos) << catalogue;

  // A new module whose package is tampered does not enter the mirror at all.
  Publish({"--module", "em001:200", "--module", "em002:300", "--module", "em003:400"});
  Repack("em003_64", 400, {std::nullopt, {"--corrupt-payload"}, ""});
  ASSERT_EQ(Mirror(), kUpdOk);
  EXPECT_EQ(MirrorPackages(), before);
  EXPECT_EQ(ReadFile(MirrorRoot() + "/update.ver").find("em003"), std::string::npos);
}

TEST_F(MirrorRunTest, TheMirrorRecordIsCheckedBeforeAnyWork) {
  PublishFirst();
  const struct {
    const char* label;
    void (*change)(MIRROR_SETTINGS&);
    UPD_ERROR code;
  } cases[] = {
      {"type 4", [](MIRROR_SETTINGS& m) { m.mirrorType = 4; }, kUpdInvalidRequest},
      {"disabled", [](MIRROR_SETTINGS& m) { m.enabled = 0; }, kUpdNothingNew},
      {"no callback", [](MIRROR_SETTINGS& m) { m.callback = nullptr; }, kUpdNoMirrorCallback},
  };
  for (const auto& each : cases) {
    MIRROR_SETTINGS saved = *mirror_;
    each.change(*mirror_);
    EXPECT_EQ(Mirror(), each.code) << each.label;
    *mirror_ = saved;
  }
  host_.settings()->mirrorSettings = nullptr;
  EXPECT_EQ(Mirror(), kUpdNoMirrorSettings);
  EXPECT_TRUE(UpstreamPackageGets().empty());
  EXPECT_TRUE(Tree(MirrorRoot()).empty());
}

// The "dll" type fetches only the "dll" catalogue; upstream has none here,
// so nothing is mirrored and the root catalogue is left alone.
TEST_F(MirrorRunTest, TheDllTypeLeavesTheRootCatalogueAlone) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  const std::string root = ReadFile(MirrorRoot() + "/update.ver");
  mirror_->mirrorType = 2;
  EXPECT_EQ(Mirror(), kUpdNotFound);
  EXPECT_EQ(ReadFile(MirrorRoot() + "/update.ver"), root);
  EXPECT_FALSE(fs::exists(MirrorRoot() + "/dll/update.ver"));
}

// The full mirror runs on a context of its own under the mirror's
// "download" folder, which goes afterwards.
TEST_F(MirrorRunTest, TheFullMirrorBuildsTheMirrorOnATemporaryContext) {
  PublishFirst();
  EXPECT_EQ(UpdPerformFullMirror(host_.settings()), kUpdOk);
  EXPECT_EQ(MirrorPackages(), Upstream({"em001_64-200.nup", "em002_64-300.nup"}));
  EXPECT_TRUE(fs::exists(MirrorRoot() + "/update.ver"));
  EXPECT_FALSE(fs::exists(MirrorRoot() + "/download"));
}

}  // namespace
}  // namespace upd::test
