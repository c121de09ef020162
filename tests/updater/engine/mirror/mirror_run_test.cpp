#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
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

// The "dll" type mirrors only the "dll" catalogue: its package goes into
// "dll" and the root and "dylib" catalogues are deleted.
TEST_F(MirrorRunTest, TheDllTypeWritesOnlyTheDllCatalogue) {
  PublishFirst();
  ASSERT_EQ(Mirror(), kUpdOk);
  const std::string dll = server_->root() + "/dll";
  fs::create_directories(dll);
  WriteFile(dir_.file("lib.bin"), "library bytes");
  ASSERT_TRUE(SignKit({"nup", dll + "/lib64.nup", dir_.file("lib.bin"), "name=lib64",
                       "category=dll", "platform=x64", "type=lib64", "filename=lib64.dll",
                       "build=5", "level=0"}));
  const std::string package = ReadFile(dll + "/lib64.nup");
  WriteFile(dll + "/update.ver",
            "[lib64]\r\ncategory=dll\r\nplatform=x64\r\ntype=lib64\r\nbuild=5\r\nlevel=0\r\n"
            "size=" + std::to_string(package.size()) + "\r\nfile=lib64.nup\r\n");
  ASSERT_TRUE(SignKit({"sign", "Wexa Update Signing Certificate", dll + "/update.ver",
                       dll + "/update.ver.signed"}));
  fs::create_directories(MirrorRoot() + "/dylib");
  WriteFile(MirrorRoot() + "/dylib/update.ver", "[old]\r\n");
  mirror_->mirrorType = 2;

  ASSERT_EQ(Mirror(), kUpdOk);

  const auto tree = Tree(MirrorRoot() + "/dll");
  ASSERT_EQ(tree.size(), 2u) << testing::PrintToString(Names(tree));
  for (const auto& [name, content] : tree) {
    if (name == "update.ver") {
      EXPECT_TRUE(std::regex_search(content, std::regex("\\[lib64\\][^\\[]*file=zel[0-9A-F]{8}\\.dll\\.nup")))
          << content;
    } else {
      EXPECT_TRUE(std::regex_match(name, std::regex("zel[0-9A-F]{8}\\.dll\\.nup"))) << name;
      EXPECT_TRUE(content == package);
    }
  }
  EXPECT_FALSE(fs::exists(MirrorRoot() + "/update.ver"));
  EXPECT_FALSE(fs::exists(MirrorRoot() + "/dylib/update.ver"));
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

// A catalogue from an HTTP server never gets a local file into the mirror,
// whether it names it as a FILE URL or as a path.
TEST_F(MirrorRunTest, ALocalFileNamedByAnHttpCatalogueIsNotCopied) {
  Publish({"--module", "em001:200", "--module", "em002:300", "--plain"});
  SetText(host_.settings()->updateServer, server_->Url());
  const std::string local = dir_.file("local/em002.nup");
  fs::create_directories(dir_.file("local"));
  fs::rename(server_->root() + "/p/em002_64-300.nup", local);
  const std::string plain = ReadFile(server_->root() + "/update.ver");
  // The FILE URL is refused; the path is taken as one on the server, which
  // does not have it.
  const struct {
    std::string named;
    UPD_ERROR code;
  } cases[] = {{"file://" + local, kUpdUnsupportedScheme}, {local, kUpdNotFound}};
  for (const auto& [named, code] : cases) {
    std::string catalogue = plain;
    const std::string old = "file=p/em002_64-300.nup";
    catalogue.replace(catalogue.find(old), old.size(), "file=" + named);
    WriteFile(server_->root() + "/update.ver", catalogue);
    fs::last_write_time(server_->root() + "/update.ver",
                        fs::file_time_type::clock::now() + std::chrono::hours(++publications_));
    EXPECT_EQ(Mirror(), code) << named;
    EXPECT_EQ(MirrorErrors(), (std::vector<uint32_t>{kUpdMirrorEmpty, code})) << named;
    const std::vector<size_t> packages = MirrorPackages();
    EXPECT_EQ(std::count(packages.begin(), packages.end(), std::hash<std::string>{}(ReadFile(local))),
              0)
        << named;
    EXPECT_EQ(ReadFile(MirrorRoot() + "/update.ver").find("em002"), std::string::npos) << named;
  }
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
