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

const char kManifest[] = R"([
  {"document": {"format": 136, "language": ["de_DE"], "path": "de.html", "hash": "D-DE"}},
  {"document": {"format": 136, "language": ["en_US"], "path": "", "hash": "D-EMPTY"}},
  {"document": {"format": 129, "language": ["EN-us"], "path": "en.html", "hash": "D-EN",
                "effective_date": "2026-02-01"}},
  {"document": {"type": 15, "format": 3, "language": ["en_US"], "path": "licence.txt",
                "hash": "K3"}},
  {"document": {"type": 15, "format": 7, "language": ["en_US"], "path": "//CDN/privacy.txt",
                "hash": ""}}
])";

class EulaManagerTest : public RepositoryFixture {
 protected:
  void SetUp() override {
    RepositoryFixture::SetUp();
    // The agreement record as the agreement query leaves it: a reference to
    // itself.
    record_.id = "suite.eula";
    record_.version = "2.1.5";
    record_.tags = {"suite-eula", "a-first"};
    record_.eula = Repository::Collection{};
    record_.eula->path = "docs/2026";
    record_.eula->format = Repository::ResourceFormat{322};
    record_.eula->hash = "AGR";
    record_.eula->version = "2.1.5";
    record_.eula->tags = record_.tags;
    web_.PutFile("repo/suite/eula/docs/2026/manifest.erm", std::string("\xEF\xBB\xBF") + kManifest);
    web_.PutFile("repo/suite/eula/docs/2026/licence.txt", "licence 2.1.5");
  }

  AppUpdateRecord record_;
};

TEST_F(EulaManagerTest, TheUnacceptedDocumentOfTheAgreementIsFound) {
  ComponentList components;
  components.Add({"suite-eula", "2.1.0"});
  AgreementDocument document;
  ASSERT_TRUE(Client()->FindDocument(record_, components.Array(), document));
  EXPECT_EQ(document.name, "a-first");
  EXPECT_EQ(document.version, "2.1.5");
  EXPECT_EQ(document.agreementHash, "AGR");
  EXPECT_EQ(document.documentHash, "D-EN");
  EXPECT_EQ(document.url, web_.Url("/repo/suite/eula/docs/2026/en.html"));
  EXPECT_EQ(document.effectiveDate, "2026-02-01");
  EXPECT_EQ(document.level, 2u);
  EXPECT_EQ(TempFileCount(), 0u);
}

TEST_F(EulaManagerTest, NoDocumentIsShownWhenTheUserIsCurrentOrHasAcceptedIt) {
  struct Case {
    const char* what;
    const char* version;
    const char* document_hash;
    const char* agreement_hash;
    uint32_t level;
  };
  const Case cases[] = {
      {"recent enough", "2.1.5", "", "", 1},
      {"agreement accepted", "1.0", "", "AGR", 4},
      {"document accepted", "2.0.0", "D-EN", "", 3},
  };
  for (const Case& c : cases) {
    ComponentList components;
    components.Add({"suite-eula", c.version, c.document_hash, c.agreement_hash});
    AgreementDocument document;
    EXPECT_FALSE(Client()->FindDocument(record_, components.Array(), document)) << c.what;
    EXPECT_EQ(document.level, c.level) << c.what;
  }
  AppUpdateRecord no_reference = record_;
  no_reference.eula->format = Repository::ResourceFormat{9};
  AgreementDocument document;
  EXPECT_FALSE(Client()->FindDocument(no_reference, nullptr, document));
}

TEST_F(EulaManagerTest, OutdatedAgreementFilesAreReplacedTogether) {
  const std::string folder = dir_.file("agreements");
  fs::create_directories(folder);
  WriteFile(folder + "/licence.txt", "licence 1.0");
  web_.PutFile("privacy.txt", "privacy 2.1.5");
  // "//CDN/..." takes the scheme of the session; the test's CDN is nginx.
  web_.PutFile("repo/suite/eula/docs/2026/manifest.erm",
               std::string(kManifest).replace(std::string(kManifest).find("//CDN"), 5,
                                              "//" + web_.HostPort()));
  EulaFileList files;
  files.Add({folder + "/licence.txt", "suite-eula", "1.0", "en_US"}).format = 3;
  files.Add({folder + "/new/privacy.txt", "suite-eula", "1.0", "en_US"}).format = 7;
  files.Add({folder + "/current.txt", "suite-eula", "2.1.5", "en-us"}).format = 3;
  files.Add({folder + "/none.txt", "suite-eula", "1.0", "en_US"}).format = 0;
  files.Add({"", "suite-eula", "1.0", "en_US"}).format = 3;
  ASSERT_EQ(EulaManager::Execute(*Client(), files.Array(), record_), kUpdOk);
  EXPECT_EQ(ReadFile(folder + "/licence.txt"), "licence 2.1.5");
  EXPECT_EQ(ReadFile(folder + "/new/privacy.txt"), "privacy 2.1.5");
  EXPECT_FALSE(fs::exists(folder + "/current.txt"));
  EXPECT_FALSE(fs::exists(folder + "/none.txt"));
  size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) ++entries;
  }
  EXPECT_EQ(entries, 2u) << "no backup or temporary file may stay";
  EXPECT_EQ(TempFileCount(), 0u);

  EulaFileList current;
  current.Add({folder + "/licence.txt", "suite-eula", "2.1.5", "en_US"}).format = 3;
  EXPECT_EQ(EulaManager::Execute(*Client(), current.Array(), record_), kUpdNothingToDo);
}

TEST_F(EulaManagerTest, ADocumentMissingFromTheManifestCommitsNothing) {
  const std::string folder = dir_.file("agreements");
  fs::create_directories(folder);
  WriteFile(folder + "/licence.txt", "licence 1.0");
  EulaFileList files;
  files.Add({folder + "/licence.txt", "suite-eula", "1.0", "en_US"}).format = 3;
  files.Add({folder + "/french.txt", "suite-eula", "1.0", "en_US"}).format = 99;
  EXPECT_EQ(EulaManager::Execute(*Client(), files.Array(), record_), kUpdInvalidRequest);
  EXPECT_EQ(ReadFile(folder + "/licence.txt"), "licence 1.0");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace upd::test
