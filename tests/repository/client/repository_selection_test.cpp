#include "repository/client/repository_selection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "repository/client/host_lists.h"
#include "repository/client/repository_client.h"

namespace upd::test {
namespace {

using Repository::ResourceFormat;

AppUpdateRecord Record(const std::string& id, int32_t format, int64_t version_id,
                       std::optional<int64_t> level = std::nullopt, bool with_update = true) {
  AppUpdateRecord record;
  record.id = id;
  record.format = ResourceFormat{format};
  record.version_id = version_id;
  if (with_update) record.update = Repository::UpdateBase{{}, level};
  return record;
}

std::vector<std::string> Ids(const std::vector<AppUpdateRecord>& records) {
  std::vector<std::string> ids;
  for (const AppUpdateRecord& record : records) ids.push_back(record.id);
  return ids;
}

TEST(RepositorySelection, ThePassesTakeApplicationUpdatesAndPackagesNewerThanTheBase) {
  const std::vector<AppUpdateRecord> records = {
      Record("same", 9, 100, 1),          Record("newer", 9, 101, 0),
      Record("no-level", 9, 200),         Record("no-update", 9, 200, 1, false),
      Record("pkg8", 8, 150),             Record("pkg323", 323, 150),
      Record("pkg10", 10, 101),           Record("old-pkg", 10, 100),
      Record("other", 7, 500, 1),         Record("agreement", 322, 500),
      Record("negative", 9, -5, 1),
  };
  std::vector<AppUpdateRecord> first;
  Repository::AppendApplicationUpdates(records, 100, first);
  EXPECT_EQ(Ids(first), (std::vector<std::string>{"newer"}));
  std::vector<AppUpdateRecord> second;
  Repository::AppendPackageUpdates(records, 100, second);
  EXPECT_EQ(Ids(second), (std::vector<std::string>{"pkg8", "pkg323", "pkg10"}));
  // version_id compares signed: a negative base takes everything above it.
  std::vector<AppUpdateRecord> from_negative;
  Repository::AppendApplicationUpdates(records, -10, from_negative);
  EXPECT_EQ(Ids(from_negative), (std::vector<std::string>{"same", "newer", "negative"}));
}

TEST(RepositorySelection, CandidatesAreTheNewestOfEachBucketAndTiesKeepTheEarlier) {
  const std::vector<AppUpdateRecord> records = {
      Record("l1-a", 9, 300, 1), Record("l1-b", 9, 300, 1), Record("l1-old", 9, 200, 1),
      Record("l0", 9, 250, 0),   Record("l2", 9, 900, 2),   Record("nolevel", 9, 900),
      Record("p10-a", 10, 40),   Record("p10-b", 10, 40),   Record("p8", 8, 30),
      Record("p322", 322, 99),
  };
  Repository::UpdateCandidates candidates;
  Repository::SortCandidates(records, candidates);
  EXPECT_EQ(candidates.levelOne.id, "l1-a");
  EXPECT_EQ(candidates.levelZero.id, "l0");
  EXPECT_EQ(candidates.package.id, "p10-a");

  Repository::SortCandidates({Record("p", 9, 5)}, candidates);
  EXPECT_TRUE(Repository::IsEmpty(candidates)) << "old candidates must be cleared";
}

TEST(RepositorySelection, AWantedVersionTakesTheLastMatchOfItsSeverity) {
  std::vector<AppUpdateRecord> records = {
      Record("a", 9, 300, 1), Record("b", 9, 300, 1), Record("c", 9, 300, 0),
      Record("d", 9, 301, 1), Record("e", 10, 300),   Record("f", 10, 300),
  };
  records[1].severity = 2;
  for (AppUpdateRecord& record : records) {
    if (record.id != "b") record.severity = 1;
  }
  Repository::UpdateCandidates candidates;
  Repository::MatchCandidates(records, 300, 1, candidates);
  EXPECT_EQ(candidates.levelOne.id, "a");
  EXPECT_EQ(candidates.levelZero.id, "c");
  EXPECT_EQ(candidates.package.id, "f");
  Repository::MatchCandidates(records, 300, 2, candidates);
  EXPECT_EQ(candidates.levelOne.id, "b");
  EXPECT_TRUE(candidates.package.id.empty());
}

TEST(RepositorySelection, PickNewerKeepsTheEarliestOfEqualVersions) {
  struct Case {
    int64_t first, second, third;
    std::string expected;
  };
  const Case cases[] = {
      {5, 5, 5, "first"}, {5, 6, 6, "second"}, {5, 6, 7, "third"},
      {7, 6, 7, "first"}, {1, 0, 2, "third"},  {0, 0, 0, "first"},
  };
  for (const Case& c : cases) {
    AppUpdateRecord out = Record("out", 9, 99);
    CRepositoryClient::PickNewer(out, Record("first", 9, c.first), Record("second", 9, c.second),
                                 Record("third", 9, c.third));
    EXPECT_EQ(out.id, c.expected) << c.first << " " << c.second << " " << c.third;
  }
  AppUpdateRecord self = Record("self", 9, 5);
  CRepositoryClient::PickNewer(self, self, Record("x", 9, 1), Record("y", 9, 2));
  EXPECT_EQ(self.id, "self");
}

TEST(RepositorySelection, AProductTakesTheFirstNewestRecordOfItsFormat) {
  const std::vector<AppUpdateRecord> records = {
      Record("old", 8, 100), Record("wrong-format", 10, 900), Record("a", 8, 300),
      Record("b", 8, 300),   Record("c", 8, 200),
  };
  EXPECT_EQ(Repository::PickProductRecord(records, 8, 150)->id, "a");
  EXPECT_FALSE(Repository::PickProductRecord(records, 8, 300).has_value());
  EXPECT_FALSE(Repository::PickProductRecord(records, 323, 0).has_value());
}

TEST(RepositorySelection, AgreementsSplitIntoNewerAndCurrentByTheirDottedVersion) {
  auto agreement = [](const std::string& id, const std::string& version,
                      std::vector<std::string> tags, int32_t format = 322) {
    AppUpdateRecord record = Record(id, format, 1);
    record.version = version;
    record.tags = std::move(tags);
    return record;
  };
  const std::vector<AppUpdateRecord> records = {
      agreement("untagged", "9.0.0", {"other"}),
      agreement("not-322", "9.0.0", {"eula"}, 9),
      agreement("cur-a", "2.1.0", {"x", "eula"}),
      agreement("cur-b", "2.1.0", {"eula"}),
      agreement("older", "1.0.0", {"eula"}),
      agreement("new-a", "2.10.0", {"eula"}),
      agreement("new-b", "2.10.0", {"eula"}),
      agreement("new-c", "2.9.0", {"eula"}),
      agreement("zero", "", {"eula"}),
      agreement("case", "5.0.0", {"EULA"}),
  };
  // Installed 2.2: "2.10.0" is newer (numeric parts), "2.1.0" current.
  Repository::AgreementCandidates picked =
      Repository::PickAgreementCandidates(records, "eula", (2ull << 48) | (2ull << 32));
  ASSERT_TRUE(picked.newer && picked.current);
  EXPECT_EQ(picked.newer->id, "new-a");
  EXPECT_EQ(picked.current->id, "cur-a");
  Repository::AgreementCandidates none = Repository::PickAgreementCandidates(records, "eula",
                                                                             ~0ull);
  EXPECT_FALSE(none.newer);
  EXPECT_EQ(none.current->id, "new-a");
}

TEST(RepositorySelection, TheHostsAnswersFillTheCondition) {
  Repository::HostIdentity identity;
  std::strcpy(identity.os.type, "linux");
  std::strcpy(identity.os.bits, "64");
  identity.os.version = 0x0006000100000000;
  std::strcpy(identity.deal.dealId, "D-42");

  PackageCondition unanswered(nullptr);
  Repository::FillPackageCondition(unanswered, 7, "en-US", identity);
  EXPECT_FALSE(unanswered.Has("os.version"));
  EXPECT_FALSE(unanswered.Has("deal_id"));
  EXPECT_EQ(std::string(unanswered.Get("os.type").At(0).CStr()), "other_linux");
  EXPECT_EQ(std::string(unanswered.Get("language").At(0).CStr()), "en_US");
  EXPECT_EQ(std::string(unanswered.Get("platform").At(0).CStr()), "x64");
  EXPECT_EQ(unanswered.Get("base").At(0).AsInt64(0), 7);
  EXPECT_TRUE(unanswered.Has("os.edition"));

  identity.osAnswered = identity.dealAnswered = true;
  // A deal identifier filling its whole block is read to the block's end.
  std::memset(identity.deal.dealId, 'd', sizeof identity.deal.dealId);
  PackageCondition answered(nullptr);
  Repository::FillPackageCondition(answered, 7, "en-US", identity);
  EXPECT_EQ(answered.Get("os.version").At(0).AsInt64(0), 0x0006000100000000);
  EXPECT_EQ(std::string(answered.Get("deal_id").At(0).CStr()), std::string(128, 'd'));
  EXPECT_EQ(std::string(answered.Get("os.bits").At(0).CStr()), "64");
}

TEST(RepositorySelection, AcceptedDocumentsAndVersionsAreFoundByExactText) {
  ComponentList components;
  components.Add({"suite", "1.2.3", "ABC"});
  components.Add({"suite", "1.10.0", "def"});
  components.Add({"other", "9.0.0", "ghi"});
  EXPECT_TRUE(FindComponentByName(components.Array(), "def"));
  EXPECT_FALSE(FindComponentByName(components.Array(), "abc"));
  EXPECT_FALSE(FindComponentByName(components.Array(), "de"));
  EXPECT_FALSE(FindComponentByName(nullptr, "def"));
  EXPECT_EQ(Repository::InstalledComponentVersion(components.Array(), "suite"),
            (1ull << 48) | (10ull << 32));
  EXPECT_EQ(Repository::InstalledComponentVersion(components.Array(), "Suite"), 0u);
}

}  // namespace
}  // namespace upd::test
