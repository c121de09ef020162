#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "repository/client/host_lists.h"
#include "platform/util/update_errors.h"
#include "repository/client/eula_manager.h"
#include "repository/client/repository_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// An agreement file whose folder cannot exist (its parent is a file) has no
// temporary file: the run ends before any download, and nothing is placed.
using EulaManagerFailureTest = RepositoryFixture;

TEST_F(EulaManagerFailureTest, AgreementFilesWithoutATemporaryFileFetchNothing) {
  AppUpdateRecord record;
  record.id = "suite.eula";
  record.version = "2.0";
  record.tags = {"suite-eula"};
  record.eula = Repository::Collection{};
  record.eula->path = "docs";
  record.eula->format = Repository::ResourceFormat{322};
  web_.PutFile("repo/suite/eula/docs/manifest.erm",
               R"([{"document": {"type": 15, "format": 3, "language": ["en_US"],)"
               R"( "path": "licence.txt"}}])");
  web_.PutFile("repo/suite/eula/docs/licence.txt", "new");
  const std::string folder = dir_.file("agreements");
  fs::create_directories(folder);
  WriteFile(folder + "/blocker", "a file, not a folder");
  EulaFileList files;
  files.Add({folder + "/licence.txt", "suite-eula", "1.0", "en_US"}).format = 3;
  files.Add({folder + "/blocker/licence.txt", "suite-eula", "1.0", "en_US"}).format = 3;
  EXPECT_EQ(EulaManager::Execute(*Client(), files.Array(), record), kUpdTempFileFailed);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
      << "the first entry's temporary file must be deleted";
}

}  // namespace
}  // namespace upd::test
