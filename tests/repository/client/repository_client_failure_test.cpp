#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/util/update_errors.h"
#include "repository/client/repository_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

const char kMetadata[] = R"({"root": {"decision_tree": {}}})";
const char kMetadataPath[] = "repo/suite/home/metadata3";

bool HasLocalCopy(const std::string& updfiles) {
  if (!fs::exists(updfiles)) return false;
  for (const auto& entry : fs::recursive_directory_iterator(updfiles)) {
    if (entry.path().filename() == "metadata3") return true;
  }
  return false;
}

class RepositoryClientFailureTest : public RepositoryFixture {
 protected:
  // The signed metadata, then a broken copy of it made by the signing kit.
  std::string Tampered(const std::string& op) {
    PublishSigned(kMetadataPath, kMetadata);
    const std::string broken = dir_.file("broken.bin");
    EXPECT_TRUE(SignKit({"tamper", op, dir_.file("signed.bin"), broken}));
    return ReadFile(broken);
  }
};

TEST_F(RepositoryClientFailureTest, DocumentsThatDoNotVerifyAreRefusedAndNotKept) {
  struct Case {
    const char* what;
    std::function<void()> publish;
  };
  const Case cases[] = {
      {"payload byte flipped", [&] { web_.PutFile(kMetadataPath, Tampered("flip-payload")); }},
      {"signature byte flipped",
       [&] { web_.PutFile(kMetadataPath, Tampered("flip-signature")); }},
      {"truncated", [&] { web_.PutFile(kMetadataPath, Tampered("truncate")); }},
      {"cut in half",
       [&] {
         std::string whole = Tampered("truncate");
         web_.PutFile(kMetadataPath, whole.substr(0, whole.size() / 2));
       }},
      {"foreign key", [&] { PublishSigned(kMetadataPath, kMetadata, kRepositorySigner, true); }},
      {"catalogue signer", [&] { PublishSigned(kMetadataPath, kMetadata, kUpdateSigner); }},
      {"plain JSON", [&] { web_.PutFile(kMetadataPath, kMetadata); }},
      {"empty", [&] { web_.PutFile(kMetadataPath, ""); }},
  };
  for (const Case& c : cases) {
    c.publish();
    const Result<std::string> text = Client()->DownloadMetadata(kProduct);
    EXPECT_EQ(text.code(), kUpdSignatureMismatch) << c.what;
    EXPECT_FALSE(text.ok()) << c.what << ": no text comes with a failure";
    EXPECT_FALSE(HasLocalCopy(dir_.file("updfiles"))) << c.what;
    EXPECT_EQ(TempFileCount(), 0u) << c.what;
    EXPECT_EQ(session_->sessionWord, 0u) << c.what;
  }
}

TEST_F(RepositoryClientFailureTest, AKeptCopyTamperedBeforeNotModifiedIsRefusedAndDeleted) {
  PublishSigned(kMetadataPath, kMetadata);
  ASSERT_EQ(Client()->DownloadMetadata(kProduct).code(), kUpdOk);
  std::string local;
  for (const auto& entry : fs::recursive_directory_iterator(dir_.file("updfiles"))) {
    if (entry.path().filename() == "metadata3") local = entry.path().string();
  }
  ASSERT_FALSE(local.empty());
  std::string bytes = ReadFile(local);
  const size_t at = bytes.find("decision_tree");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'D';
  WriteFile(local, bytes);
  EXPECT_EQ(Client()->DownloadMetadata(kProduct).code(), kUpdSignatureMismatch);
  EXPECT_EQ(Requests(2).back().status, 304);
  EXPECT_FALSE(fs::exists(local));
}

TEST_F(RepositoryClientFailureTest, ServerAnswersMapToTheClientsCodes) {
  struct Case {
    const char* product;
    int status;
    UPD_ERROR metadata;
    UPD_ERROR manifest;
  };
  const Case cases[] = {
      {"gone.p404", 404, kUpdNothingToDo, kUpdNotFound},
      {"busy.p503", 503, kUpdNothingToDo, kUpdServiceUnavailable},
      {"broken.p500", 500, kUpdServerError, kUpdServerError},
  };
  const std::string parent = dir_.file("second");
  fs::create_directories(parent);
  NginxServer web(parent,
                  NginxServer::Options().ServerConf(
                      "location /repo/busy/ { return 503; }\n"
                      "location /repo/broken/ { return 500; }\n"));
  ASSERT_TRUE(web.running());
  SetServer(web.Url("/repo/"));
  for (const Case& c : cases) {
    EXPECT_EQ(Client()->DownloadMetadata(c.product).code(), c.metadata) << c.product;
    AppUpdateRecord record;
    record.id = c.product;
    record.eula = Repository::Collection{};
    record.eula->path = "eula";
    EXPECT_EQ(Client()->DownloadManifest(record).code(), c.manifest) << c.product;
    EXPECT_EQ(TempFileCount(), 0u) << c.product;
  }
}

TEST_F(RepositoryClientFailureTest, ARefusedServerGetsNoRequest) {
  PublishSigned(kMetadataPath, kMetadata);
  host_.Answer(23, 1);
  EXPECT_EQ(Client()->DownloadMetadata(kProduct).code(), kUpdServerUnreachable);
  EXPECT_EQ(host_.EventsOf(23).size(), 1u);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(TempFileCount(), 0u);
}

TEST_F(RepositoryClientFailureTest, WithoutATemporaryFileNothingIsFetched) {
  PublishSigned(kMetadataPath, kMetadata);
  setenv("TMPDIR", dir_.file("no/such/folder").c_str(), 1);
  EXPECT_EQ(Client()->DownloadMetadata(kProduct).code(), kUpdTempFileFailed);
  EXPECT_TRUE(Requests().empty());
}

// A body beyond the document limit is not read into memory, and its copy is
// not kept.
TEST_F(RepositoryClientFailureTest, AnOversizedDocumentFailsWithACode) {
  const std::string path = web_.PutFile(kMetadataPath, "");
  fs::resize_file(path, CRepositoryClient::kMaxDocumentBytes + 1);
  const Result<std::string> text = Client()->DownloadMetadata(kProduct);
  EXPECT_EQ(text.code(), kUpdBadFile);
  EXPECT_FALSE(text.ok());
  EXPECT_FALSE(HasLocalCopy(dir_.file("updfiles")));
  EXPECT_EQ(TempFileCount(), 0u);
}

// Paths from a repository document never climb out of the repository nor
// name a local file; nothing is requested for them.
TEST_F(RepositoryClientFailureTest, HostilePackagePathsAreNotFollowed) {
  web_.PutFile("secret.bin", "secret");
  for (const char* path : {"../../secret.bin", "pkg/../../../secret.bin", "%2e%2e/%2E%2E/secret.bin",
                           "file:///etc/hostname", "FILE://localhost/etc/hostname"}) {
    AppUpdateRecord record;
    record.path = path;
    record.hash = "00";
    const std::string target = dir_.file("out.bin");
    EXPECT_EQ(Client()->DownloadPackage(kProduct, record, target), kUpdUnsupportedScheme) << path;
    EXPECT_FALSE(fs::exists(target)) << path;
  }
  EXPECT_TRUE(Requests().empty());
  AppUpdateRecord record;
  record.changelog = Repository::Document{};
  record.changelog->path = "../../notes.html";
  EXPECT_EQ(Client()->GetChangelogUrl(record), std::nullopt);
}

}  // namespace
}  // namespace upd::test
