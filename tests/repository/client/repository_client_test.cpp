#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "net/http/download_cache.h"
#include "platform/util/update_errors.h"
#include "repository/client/repository_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

const char kMetadata[] = R"({"root": {"decision_tree": {}}, "note": "repository text"})";

// The kept copy of a URL below the update folder.
std::string LocalCopy(const std::string& updfiles, const std::string& file) {
  for (const auto& entry : fs::recursive_directory_iterator(updfiles)) {
    if (entry.path().filename() == file) return entry.path().string();
  }
  return {};
}

using RepositoryClientTest = RepositoryFixture;

TEST_F(RepositoryClientTest, MetadataIsVerifiedAndReturnedWithoutItsByteOrderMark) {
  PublishMetadata(kProduct, std::string("\xEF\xBB\xBF") + kMetadata);
  session_->sessionWord = 0x1234;
  auto client = Client();
  EXPECT_EQ(session_->sessionWord, 0u);
  const Result<std::string> text = client->DownloadMetadata(kProduct);
  ASSERT_EQ(text.code(), kUpdOk);
  EXPECT_EQ(*text, kMetadata);
  EXPECT_EQ(session_->sessionWord, 0u) << "the listing bit lasts one download";
  // The kept copy is the whole signed message, as the server sent it.
  const std::string local = LocalCopy(dir_.file("updfiles"), "metadata3");
  ASSERT_FALSE(local.empty());
  EXPECT_EQ(ReadFile(local), ReadFile(web_.root() + "/repo/suite/home/metadata3"));
  EXPECT_EQ(TempFileCount(), 0u);
  // Repository downloads go without a HEAD first.
  std::vector<AccessLogEntry> log = Requests(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].request, "GET /repo/suite/home/metadata3 HTTP/1.1");
  EXPECT_EQ(log[0].status, 200);
}

TEST_F(RepositoryClientTest, APayloadWithoutAByteOrderMarkIsReturnedUnchanged) {
  PublishMetadata(kProduct, std::string("\xEF\xBB") + kMetadata);
  const Result<std::string> text = Client()->DownloadMetadata(kProduct);
  ASSERT_EQ(text.code(), kUpdOk);
  EXPECT_EQ(*text, std::string("\xEF\xBB") + kMetadata);
}

TEST_F(RepositoryClientTest, NotModifiedReturnsTheKeptCopysText) {
  PublishMetadata(kProduct, kMetadata);
  ASSERT_EQ(Client()->DownloadMetadata(kProduct).code(), kUpdOk);
  const Result<std::string> second = Client()->DownloadMetadata(kProduct);
  ASSERT_EQ(second.code(), kUpdOk);
  EXPECT_EQ(*second, kMetadata);
  std::vector<AccessLogEntry> log = Requests(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log.back().status, 304);
  EXPECT_EQ(TempFileCount(), 0u);
}

TEST_F(RepositoryClientTest, TheChannelsOfTheSettingsShowInTheUrls) {
  auto client = Client();
  EXPECT_EQ(client->BaseUrl(), web_.Url("/repo/"));
  EXPECT_EQ(client->BuildUrl("suite.home", "metadata3"), web_.Url("/repo/suite/home/metadata3"));
  SetServer("AutoSelect");
  host_.settings()->releaseChannel = UPD_CHANNEL_PRE_RELEASE;
  EXPECT_EQ(Client()->BuildUrl("a.b", "metadata3"),
            "http://repository.wexa-update.net/prerelease/v1/a/b/metadata3");
}

TEST_F(RepositoryClientTest, ProtocolRelativePathsTakeTheSchemeOfTheLastFetch) {
  auto client = Client();
  EXPECT_EQ(client->MakeAbsoluteUrl("//cdn/x", true), "http://cdn/x");
  SetServer("https://127.0.0.1:" + std::to_string(web_.port()) + "/repo/");
  (void)Client()->DownloadMetadata(kProduct);
  EXPECT_EQ(Client()->MakeAbsoluteUrl("//cdn/x", true), "HTTPS://cdn/x");
  SetServer(web_.Url("/repo/"));
  PublishMetadata(kProduct, kMetadata);
  ASSERT_EQ(Client()->DownloadMetadata(kProduct).code(), kUpdOk);
  EXPECT_EQ(Client()->MakeAbsoluteUrl("//cdn/x", true), "HTTP://cdn/x");
  EXPECT_EQ(Client()->MakeAbsoluteUrl("//cdn/x", false), "//cdn/x");
}

TEST_F(RepositoryClientTest, ResourceUrlsFollowTheirOwnServerOrTheProductFolder) {
  PublishMetadata(kProduct, kMetadata);
  auto client = Client();
  ASSERT_EQ(client->DownloadMetadata(kProduct).code(), kUpdOk);
  EXPECT_EQ(client->ResourceUrl("a.b", "pkg/x.bin"), web_.Url("/repo/a/b/pkg/x.bin"));
  EXPECT_EQ(client->ResourceUrl("a.b", "https://cdn/x.bin"), "https://cdn/x.bin");
  EXPECT_EQ(client->ResourceUrl("a.b", "//cdn/x.bin"), "HTTP://cdn/x.bin");
  EXPECT_EQ(client->GetDocumentUrl("a.b", "eula", "doc.html"), web_.Url("/repo/a/b/eula/doc.html"));
  EXPECT_EQ(client->GetDocumentUrl("a.b", "//cdn/eula", "doc.html"), "HTTP://cdn/eula/doc.html");
  EXPECT_EQ(client->GetDocumentUrl("a.b", "eula", "https://cdn/d.html"), "https://cdn/d.html");

  AppUpdateRecord record;
  EXPECT_EQ(client->GetChangelogUrl(record), std::nullopt);
  record.changelog = Repository::Document{};
  record.changelog->path = "notes/12.html";
  EXPECT_EQ(client->GetChangelogUrl(record), web_.Url("/repo/suite/home/notes/12.html"));
}

TEST_F(RepositoryClientTest, PackageFormatsAreClassified) {
  struct Case {
    int32_t format;
    uint32_t answer;
  };
  for (const Case& c : {Case{9, 2}, Case{8, 1}, Case{323, 1}, Case{10, 1}, Case{322, 0},
                        Case{0, 0}, Case{11, 0}}) {
    AppUpdateRecord record;
    record.format = Repository::ResourceFormat{c.format};
    EXPECT_EQ(CRepositoryClient::IsPlatformSupported(record), c.answer) << c.format;
  }
}

class RepositoryPackageTest : public RepositoryFixture {
 protected:
  void SetUp() override {
    RepositoryFixture::SetUp();
    content_.resize(5000);
    for (size_t i = 0; i < content_.size(); ++i) content_[i] = static_cast<char>(i * 7 + 3);
    web_.PutFile("repo/suite/home/pkg/app.bin", content_);
    record_.path = "pkg/app.bin";
    record_.size = static_cast<int64_t>(content_.size());
    const std::string plain = dir_.file("whole.bin");
    WriteFile(plain, content_);
    ASSERT_EQ(RunCommand("sha1sum " + plain + " | cut -c1-40", &record_.hash), 0);
    record_.hash.resize(40);
  }

  std::string content_;
  AppUpdateRecord record_;
};

TEST_F(RepositoryPackageTest, APackageIsDownloadedAndItsLowerCaseHashAccepted) {
  const std::string target = dir_.file("app.bin");
  ASSERT_EQ(Client()->DownloadPackage(kProduct, record_, target), kUpdOk);
  EXPECT_EQ(ReadFile(target), content_);
  EXPECT_EQ(CRepositoryClient::VerifyFileHash(record_, target), kUpdOk);
  ASSERT_EQ(host_.EventsOf(2).size(), 1u);
  const std::string changed = dir_.file("changed.bin");
  std::string bytes = content_;
  bytes[2500] ^= 1;
  WriteFile(changed, bytes);
  EXPECT_EQ(CRepositoryClient::VerifyFileHash(record_, changed), kUpdSignatureMismatch);
  EXPECT_EQ(CRepositoryClient::VerifyFileHash(record_, dir_.file("missing.bin")),
            kUpdSignatureMismatch);
}

// nginx compresses on the fly and then answers ranges whole, so this server
// sends the package as it is.
TEST_F(RepositoryPackageTest, APartialPackageInTheCacheIsResumedWithARange) {
  const std::string parent = dir_.file("plain");
  fs::create_directories(parent);
  NginxServer plain(parent, NginxServer::Options().ServerConf("gzip off;"));
  ASSERT_TRUE(plain.running());
  plain.PutFile("repo/suite/home/pkg/app.bin", content_);
  SetServer(plain.Url("/repo/"));
  {
    CDownloadCache cache(dir_.file("cache"));
    const std::string partial = dir_.file("partial.bin");
    WriteFile(partial, content_.substr(0, 1000));
    uint64_t size = 0;
    ASSERT_EQ(cache.Add("application-" + record_.hash, partial.c_str(), &size), kUpdOk);
  }
  session_ = std::make_unique<CDownloadSession>(dir_.file("cache"));
  const std::string target = dir_.file("app.bin");
  ASSERT_EQ(Client()->DownloadPackage(kProduct, record_, target), kUpdOk);
  EXPECT_EQ(ReadFile(target), content_);
  std::vector<AccessLogEntry> log = plain.AccessLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].range, "bytes=1000-");
  EXPECT_EQ(log[0].status, 206);
  EXPECT_EQ(log[0].bytes, content_.size() - 1000);
}

// The host is asked by the size the repository gives, all 64 bits of it.
TEST_F(RepositoryPackageTest, ADeclinedLargeDownloadSendsNoRequest) {
  host_.settings()->confirmLargeDownload = 1;
  host_.settings()->largeDownloadLimitKiB = 1;
  host_.Answer(20, 0);
  record_.size = (int64_t{1} << 32) + 100;
  EXPECT_EQ(Client()->DownloadPackage(kProduct, record_, dir_.file("app.bin")), kUpdStopped);
  EXPECT_EQ(host_.EventsOf(20).size(), 1u);
  EXPECT_TRUE(Requests().empty());
  EXPECT_FALSE(fs::exists(dir_.file("app.bin")));
}

}  // namespace
}  // namespace upd::test
