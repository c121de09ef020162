#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "repository/client/host_lists.h"
#include "platform/util/update_errors.h"
#include "repository/client/repository_fixture.h"

namespace upd::test {
namespace {

// Versions of the fixture: the settings' second version is 1.0.0.0 (the
// base), the application's 2.0.0.0.
constexpr int64_t kBase = int64_t{1} << 48;
constexpr int64_t kApp = int64_t{2} << 48;

std::string App(const std::string& id, int format, int64_t version_id,
                const std::string& update = R"({"level": 1})") {
  std::string text = R"("ID": {"application": {"id": "ID", "format": F, "version_id": V)";
  text.replace(text.find("ID"), 2, id);
  text.replace(text.find("ID"), 2, id);
  text.replace(text.find('F'), 1, std::to_string(format));
  text.replace(text.find('V'), 1, std::to_string(version_id));
  if (!update.empty()) text += R"(, "update": )" + update;
  return text + "}}";
}

std::string Refs(const std::vector<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) {
    text += std::string(text.empty() ? "" : ", ") + R"({"reference": ")" + id + R"("})";
  }
  return "[" + text + "]";
}

// The first pass sees the base, the second the application version; the
// deal and OS switches add their resources only when the host answered.
std::string SuiteMetadata() {
  return R"({"root": {"decision_tree": {"switch": {"var": "base", "cases": [)"
         R"({"eq": )" + std::to_string(kBase) + R"(, "file": )" +
         Refs({"app-level", "app-level0", "app-nolevel", "app-noupdate", "app-equal",
               "pkg8-first"}) +
         R"(}, {"eq": )" + std::to_string(kApp) + R"(, "file": )" +
         Refs({"pkg10-a", "pkg10-b", "pkg323", "pkg8-old", "app-second"}) +
         R"(}, {"switch": {"var": "deal_id", "cases": [{"eq": "D-42", "file": )" +
         Refs({"deal-app"}) +
         R"(}]}}, {"switch": {"var": "os.version", "cases": [{"ge": 0, "file": )" +
         Refs({"os-app"}) + R"(}]}}]}}}, )" +
         App("app-level", 9, kBase + 2) + ", " +
         App("app-level0", 9, kBase + 3, R"({"level": 0})") + ", " +
         App("app-nolevel", 9, kBase + 9, "{}") + ", " + App("app-noupdate", 9, kBase + 9, "") +
         ", " + App("app-equal", 9, kBase) + ", " + App("pkg8-first", 8, kBase + 4) + ", " +
         App("pkg10-a", 10, kBase + 7) + ", " + App("pkg10-b", 10, kBase + 7) + ", " +
         App("pkg323", 323, kBase + 1) + ", " + App("pkg8-old", 8, kBase - 1) + ", " +
         App("app-second", 9, kApp + 1) + ", " + App("deal-app", 9, kBase + 8) + ", " +
         App("os-app", 9, kBase + 6, R"({"level": 0})") + "}";
}

std::vector<std::string> Ids(const std::vector<AppUpdateRecord>& records) {
  std::vector<std::string> ids;
  for (const AppUpdateRecord& record : records) ids.push_back(record.id);
  return ids;
}

class RepositoryQueriesTest : public RepositoryFixture {
 protected:
  // The host fills both blocks; only an answer of 0 makes them count.
  void AnswerHost(uint32_t answer = 0) {
    host_.OnEvent(30, [answer](uint32_t, void* data) {
      std::strcpy(static_cast<RepositoryDealBlock*>(data)->dealId, "D-42");
      return answer;
    });
    host_.OnEvent(31, [answer](uint32_t, void* data) {
      static_cast<RepositoryOsInfo*>(data)->version = 5;
      return answer;
    });
  }

  CRepositoryClient::QueryLists lists_;
  std::vector<AppUpdateRecord> updates_;
  std::vector<AppUpdateRecord> products_;
  Repository::AgreementResult agreements_;
};

TEST_F(RepositoryQueriesTest, TwoPassesTakeApplicationUpdatesThenPackagesNewerThanTheBase) {
  PublishMetadata(kProduct, SuiteMetadata());
  AnswerHost(1);
  ASSERT_EQ(Client()->QueryResources(lists_, updates_, products_, agreements_), kUpdOk);
  EXPECT_EQ(Ids(updates_), (std::vector<std::string>{"app-level", "app-level0", "pkg10-a",
                                                      "pkg10-b", "pkg323"}));
  EXPECT_EQ(host_.EventsOf(30).size(), 1u);
  EXPECT_EQ(host_.EventsOf(31).size(), 1u);
}

TEST_F(RepositoryQueriesTest, TheHostsDealAndSystemSelectTheirResources) {
  PublishMetadata(kProduct, SuiteMetadata());
  AnswerHost();
  ASSERT_EQ(Client()->QueryResources(lists_, updates_, products_, agreements_), kUpdOk);
  EXPECT_EQ(Ids(updates_),
            (std::vector<std::string>{"app-level", "app-level0", "deal-app", "os-app", "pkg10-a",
                                      "pkg10-b", "pkg323"}));
}

TEST_F(RepositoryQueriesTest, CandidatesAreTheNewestOfEachKind) {
  PublishMetadata(kProduct, SuiteMetadata());
  AnswerHost();
  Repository::UpdateCandidates candidates;
  ASSERT_EQ(Client()->FindApplicationUpdates(lists_, products_, agreements_, candidates), kUpdOk);
  EXPECT_EQ(candidates.levelOne.id, "deal-app");
  EXPECT_EQ(candidates.levelZero.id, "os-app");
  EXPECT_EQ(candidates.package.id, "pkg10-a") << "a tie keeps the earlier record";

  HOST_STRING wanted;
  SetHostText(wanted, "1.0.0.2");
  ASSERT_EQ(Client()->FindApplicationUpdate(lists_, products_, agreements_, wanted, 1, candidates),
            kUpdOk);
  EXPECT_EQ(candidates.levelOne.id, "app-level");
  EXPECT_TRUE(candidates.levelZero.id.empty());
  HostStringFree(&wanted);
}

TEST_F(RepositoryQueriesTest, NothingInTheRepositoryIsNothingToDo) {
  std::vector<AppUpdateRecord> updates;
  EXPECT_EQ(Client()->QueryResources(lists_, updates, products_, agreements_), kUpdNothingToDo);
  Repository::UpdateCandidates candidates;
  EXPECT_EQ(Client()->FindApplicationUpdates(lists_, products_, agreements_, candidates),
            kUpdNothingToDo);
  PublishSigned("repo/suite/home/metadata3", "{}", kUpdateSigner);
  EXPECT_EQ(Client()->QueryResources(lists_, updates, products_, agreements_),
            kUpdSignatureMismatch);
}

TEST_F(RepositoryQueriesTest, EachFurtherProductGetsItsNewestRecordAndMissingOnesAreSkipped) {
  const std::string product = R"({"root": {"decision_tree": {"switch": {"var": "x", "cases": [)"
                              R"({"file": )" + Refs({"a-old", "b-new", "c-new", "d-other"}) +
                              "}]}}}, " + App("a-old", 8, kBase - 1) + ", " +
                              App("b-new", 8, kBase + 5) + ", " + App("c-new", 8, kBase + 5) +
                              ", " + App("d-other", 10, kBase + 50) + "}";
  PublishMetadata("tools.cli", product);
  PublishMetadata("tools.gui", product);
  ProductList list;
  list.Add({"tools.cli", "1.0.0.0"}).format = 8;
  list.Add({"tools.missing", "1.0.0.0"}).format = 8;
  list.Add({"tools.gui", "1.0.0.5"}).format = 8;
  list.Add({"tools.gui", "1.0.0.0"}).format = 323;
  lists_.products = list.Array();
  ASSERT_EQ(Client()->QueryResources(lists_, updates_, products_, agreements_), kUpdOk);
  EXPECT_EQ(Ids(products_), (std::vector<std::string>{"b-new"}));
  EXPECT_TRUE(updates_.empty());
}

class RepositoryAgreementQueryTest : public RepositoryQueriesTest {
 protected:
  void SetUp() override {
    RepositoryQueriesTest::SetUp();
    auto agreement = [](const std::string& id, const std::string& version,
                        const std::string& tag) {
      return "\"" + id + R"(": {"collection": {"id": ")" + id + R"(", "path": "eula/)" + id +
             R"(", "format": 322, "hash": "H-)" + id + R"(", "version": ")" + version +
             R"(", "version_id": 1, "tags": [")" + tag + "\"]}}";
    };
    PublishMetadata("suite.eula",
                    R"({"root": {"decision_tree": {"switch": {"var": "x", "cases": [{"file": )" +
                        Refs({"e200", "e210", "e210b", "e300", "e300b", "e220", "other"}) +
                        "}]}}}, " + agreement("e200", "2.0.0", "suite-eula") + ", " +
                        agreement("e210", "2.1.0", "suite-eula") + ", " +
                        agreement("e210b", "2.1.0", "suite-eula") + ", " +
                        agreement("e220", "2.2.0", "suite-eula") + ", " +
                        agreement("e300", "3.0.0", "suite-eula") + ", " +
                        agreement("e300b", "3.0.0", "suite-eula") + ", " +
                        agreement("other", "9.0.0", "other-eula") + "}");
    components_.Add({"suite-eula", "2.1.0"});
    components_.Add({"suite-eula", "1.0.0"});
    lists_.components = components_.Array();
    lists_.agreementProduct = "suite.eula";
    lists_.agreementName = "suite-eula";
  }

  ComponentList components_;
};

TEST_F(RepositoryAgreementQueryTest, TheNewerAndTheUncoveredCurrentAgreementFillTheSlots) {
  EulaFileList files;
  files.Add({"/t/licence.txt", "suite-eula", "2.0.0", "en_US"}).format = 3;
  lists_.agreements = files.Array();
  ASSERT_EQ(Client()->QueryResources(lists_, updates_, products_, agreements_), kUpdOk);
  ASSERT_TRUE(agreements_.newer.has_value());
  EXPECT_EQ(agreements_.newer->id, "e300");
  ASSERT_TRUE(agreements_.newer->eula.has_value());
  EXPECT_EQ(agreements_.newer->eula->path, "eula/e300");
  EXPECT_EQ(agreements_.newer->eula->hash, "H-e300");
  EXPECT_EQ(agreements_.newer->eula->version, "3.0.0");
  EXPECT_EQ(static_cast<int32_t>(agreements_.newer->eula->format), 322);
  ASSERT_TRUE(agreements_.current.has_value());
  EXPECT_EQ(agreements_.current->id, "e210");
  EXPECT_EQ(agreements_.current->eula->tags, (std::vector<std::string>{"suite-eula"}));
}

TEST_F(RepositoryAgreementQueryTest, ACoveredCurrentAgreementStaysOut) {
  EulaFileList files;
  files.Add({"/t/licence.txt", "suite-eula", "2.1.0", "EN-us"}).format = 3;
  lists_.agreements = files.Array();
  ASSERT_EQ(Client()->QueryResources(lists_, updates_, products_, agreements_), kUpdOk);
  ASSERT_TRUE(agreements_.newer.has_value());
  EXPECT_EQ(agreements_.newer->id, "e300");
  EXPECT_FALSE(agreements_.current.has_value());

  // No agreement files: nothing is copied into the current slot.
  lists_.agreements = nullptr;
  Repository::AgreementResult none;
  ASSERT_EQ(Client()->QueryResources(lists_, updates_, products_, none), kUpdOk);
  EXPECT_FALSE(none.current.has_value());
}

// Agreements are chosen by their "version", yet one without a "version_id"
// counts as none, newer or current.
TEST_F(RepositoryAgreementQueryTest, AnAgreementWithoutVersionIdFillsNoSlot) {
  PublishMetadata("suite.eula",
                  R"({"root": {"decision_tree": {"switch": {"var": "x", "cases": [{"file": )" +
                      Refs({"e210", "e300"}) + "}]}}}, " +
                      R"("e210": {"collection": {"id": "e210", "path": "eula/e210", "format": 322,)"
                      R"( "hash": "H-e210", "version": "2.1.0", "tags": ["suite-eula"]}}, )"
                      R"("e300": {"collection": {"id": "e300", "path": "eula/e300", "format": 322,)"
                      R"( "hash": "H-e300", "version": "3.0.0", "tags": ["suite-eula"]}}})");
  EulaFileList files;
  files.Add({"/t/licence.txt", "suite-eula", "2.0.0", "en_US"}).format = 3;
  lists_.agreements = files.Array();
  EXPECT_EQ(Client()->QueryResources(lists_, updates_, products_, agreements_), kUpdNothingToDo);
  EXPECT_FALSE(agreements_.newer.has_value());
  EXPECT_FALSE(agreements_.current.has_value());
}

}  // namespace
}  // namespace upd::test
