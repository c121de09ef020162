#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/util/update_errors.h"
#include "repository/client/repository_fixture.h"
#include "support/file_size_limit.h"
#include "support/hostile_bodies.h"

// The repository client against hostile servers: a document (metadata3,
// manifest.erm) stops at the document limit with 0x1012 and a package at the
// size its record announces with 0x1204; neither leaves a temporary file, a
// kept copy or anything in the download cache.
namespace upd::test {
namespace {

namespace fs = std::filesystem;

class RepositoryBoundFailureTest : public RepositoryFixture {
 protected:
  ScriptedPeer& Serve(const ScriptedConnection& every) {
    peer_ = std::make_unique<ScriptedPeer>(dir_.path().string(), std::vector<ScriptedConnection>{},
                                           ScriptedPeer::Options().Otherwise(every));
    EXPECT_TRUE(peer_->running());
    SetServer(peer_->Url("/repo/"));
    return *peer_;
  }

  // Every file under folder (none when it does not exist).
  std::vector<std::string> FilesIn(const std::string& folder) const {
    std::vector<std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (entry.is_regular_file() && entry.path().filename() != "index.ini") {
        files.push_back(entry.path().string());
      }
    }
    return files;
  }

  static AppUpdateRecord Package(int64_t size) {
    AppUpdateRecord record;
    record.path = "pkg/app.bin";
    record.hash = "0123456789abcdef0123456789abcdef01234567";
    record.size = size;
    return record;
  }

  std::unique_ptr<ScriptedPeer> peer_;
};

TEST_F(RepositoryBoundFailureTest, AHostileDocumentStopsAtTheDocumentLimit) {
  struct Case {
    const char* name;
    ScriptedConnection answer;
  };
  const Case kCases[] = {
      {"gzip bomb", GzipBomb(10'000'000)},
      {"endless body", EndlessBody()},
      {"endless chunked body", EndlessBody(/*chunked=*/true)},
      {"200 MiB announced", Announcing(uint64_t{200} << 20)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Serve(c.answer);
    const FileSizeLimit cap(CRepositoryClient::kMaxDocumentBytes);
    ASSERT_TRUE(cap.active());
    const Result<std::string> text = Client()->DownloadMetadata(kProduct);
    EXPECT_EQ(text.code(), kUpdBadFile);
    EXPECT_FALSE(text.ok());
    AppUpdateRecord record;
    record.id = kProduct;
    record.eula = Repository::Collection{};
    record.eula->path = "eula";
    const Result<std::string> manifest = Client()->DownloadManifest(record);
    EXPECT_EQ(manifest.code(), kUpdBadFile);
    EXPECT_FALSE(manifest.ok());
    EXPECT_EQ(TempFileCount(), 0u);
    EXPECT_TRUE(FilesIn(dir_.file("updfiles")).empty());
    EXPECT_EQ(peer_->Requests().size(), 2u);
  }
}

TEST_F(RepositoryBoundFailureTest, APackagePastItsAnnouncedSizeLeavesNothingBehind) {
  struct Case {
    const char* name;
    ScriptedConnection answer;
    int64_t size;  // of the record
  };
  const Case kCases[] = {
      {"gzip bomb", GzipBomb(10'000'000), 100},
      {"endless body", EndlessBody(), 100},
      {"one byte more than announced", Announcing(101), 100},
      {"past the default bound of a record without a size",
       Announcing(kDefaultFileDownloadBytes + 1), 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Serve(c.answer);
    const std::string target = dir_.file("app.bin");
    {
      const FileSizeLimit cap(100);
      ASSERT_TRUE(cap.active());
      EXPECT_EQ(Client()->DownloadPackage(kProduct, Package(c.size), target),
                kUpdSourceUnreadable);
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(FilesIn(dir_.file("cache")).empty());
    EXPECT_EQ(peer_->Requests().size(), 1u);
  }
}

TEST_F(RepositoryBoundFailureTest, APackageOfItsAnnouncedSizeArrives) {
  Serve(Announcing(100));
  const std::string target = dir_.file("app.bin");
  EXPECT_EQ(Client()->DownloadPackage(kProduct, Package(100), target), kUpdOk);
  EXPECT_EQ(ReadFile(target), std::string(100, 'a'));
}

}  // namespace
}  // namespace upd::test
