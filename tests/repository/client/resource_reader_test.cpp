#include "repository/client/resource_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "repository/selection/recording_logger.h"

namespace upd::test {
namespace {

using Repository::HwPlatform;
using Repository::ResourceFormat;

// Every field of every record kind, a collection, a resource of both kinds,
// one of neither and a reference to nothing.
const char kDocument[] = R"({
  "root": {"decision_tree": {
    "defaults": {"added": "by the tree"},
    "switch": {"var": "v", "cases": [{"file": [
      {"reference": "app", "severity": 5}, {"reference": "app", "severity": 3},
      {"reference": "coll"}, {"reference": "both"}, {"reference": "missing", "severity": 2},
      {"reference": "odd"}]}]}}},
  "app": {"application": {
    "id": "suite", "path": "/v1/suite/12.bin", "display_name": "Suite", "description": "Fixes",
    "version": "12.3", "version_id": 1203, "date": 1700000000, "dev_stage": 2, "size": 4096,
    "hash": "ABCDEF", "hash_sha256": "00ff", "language": ["en_US", "de_DE"], "format": 323,
    "eula": "eula_member", "changelog": "notes", "eol": 1800000000, "legacy": 0,
    "update": {"base": [{"from": 1000, "to": 1100}, {"from": 1150}], "level": 1},
    "dependencies": {
      "os": [{"type": 1, "family": 2, "name": "linux", "edition": 3, "version_from": 5,
              "version_to": 6, "bits": 64}],
      "non_os": [{"name": "other"}], "platform": [1, 7],
      "manager": [{"name": "mgr", "version_id_from": 1}],
      "package": [{"name": "core", "version_id_to": 9}],
      "eula": {"package": {"name": "eula-pkg", "version_id_from": 2, "version_id_to": 3}}},
    "tags": ["stable"], "token": {"id": "tok", "deal_id": "deal"}}},
  "eula_member": {"collection": {"id": "eula", "path": "/eula.zip", "format": 322, "hash": "11",
    "hash_sha256": "22", "version": "3", "version_id": 3, "tags": ["legal"]}},
  "notes": {"document": {"path": "/notes.txt", "type": 4, "format": 5, "version": "1",
    "version_id": 10, "hash": "33", "hash_sha256": "44", "language": ["en"],
    "display_name": {"en": "Notes", "de": "Hinweise", "en": "Second", "fr": 7},
    "package": {"name": "suite", "version_id_from": 1}, "tags": ["t"],
    "effective_date": "2024-01-01"}},
  "coll": {"collection": {"id": "c", "path": "/c.bin", "version": "2", "version_id": 20,
    "hash": "55", "hash_sha256": "66", "format": 10, "tags": ["x"], "display_name": "no",
    "size": 5, "description": "no"}},
  "both": {"collection": {"id": "from-collection"}, "application": {"id": "from-application"}},
  "odd": {"document": {"path": "x"}}
})";

class ResourceListTest : public testing::Test {
 protected:
  RecordingLogger logger_;
  DecisionTree tree_ = DecisionTree::Load(kDocument, &logger_);
  PackageCondition condition_{nullptr};
};

TEST_F(ResourceListTest, OneRecordPerResultInResultOrder) {
  const std::vector<AppUpdateRecord> records = Repository::ParseResourceList(tree_, condition_);
  ASSERT_EQ(records.size(), 6u);
  std::vector<std::string> ids;
  std::vector<int32_t> severities;
  for (const AppUpdateRecord& r : records) {
    ids.push_back(r.id);
    severities.push_back(r.severity);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"suite", "suite", "from-application", "c", "", ""}));
  EXPECT_EQ(severities, (std::vector<int32_t>{3, 5, 1, 1, 2, 1}));
  EXPECT_FALSE(condition_.Has("added")) << "the caller's condition is not changed";
  EXPECT_EQ(logger_.Starting("Unsupported resource type."),
            (std::vector<std::string>{"Unsupported resource type.", "Unsupported resource type."}));
  for (const RecordingLogger::Line& line : logger_.lines) {
    if (line.text == "Unsupported resource type.") {
      EXPECT_EQ(line.level, Repository::kLogWarning);
    }
  }
  EXPECT_EQ(logger_.Starting("Added application info:\n").size(), 3u);
  EXPECT_EQ(logger_.Starting("Added collection info:\n").size(), 1u);
}

TEST_F(ResourceListTest, ApplicationRecordsDifferOnlyInSeverity) {
  const std::vector<AppUpdateRecord> records = Repository::ParseResourceList(tree_, condition_);
  ASSERT_GE(records.size(), 2u);
  AppUpdateRecord second = records[1];
  second.severity = records[0].severity;
  std::ostringstream a;
  std::ostringstream b;
  Repository::DumpPackageInfo(a, records[0]);
  Repository::DumpPackageInfo(b, second);
  EXPECT_EQ(a.str(), b.str());
}

TEST_F(ResourceListTest, ApplicationFieldsAndNamedMembers) {
  const AppUpdateRecord r = Repository::ParseResource(tree_, {"app", 3});
  EXPECT_EQ(r.id, "suite");
  EXPECT_EQ(r.path, "/v1/suite/12.bin");
  EXPECT_EQ(r.display_name, "Suite");
  EXPECT_EQ(r.description, "Fixes");
  EXPECT_EQ(r.version, "12.3");
  EXPECT_EQ(r.version_id, 1203);
  EXPECT_EQ(r.date, 1700000000);
  EXPECT_EQ(r.dev_stage, 2);
  EXPECT_EQ(r.size, 4096);
  EXPECT_EQ(r.hash, "ABCDEF");
  EXPECT_EQ(r.hash_sha256, "00ff");
  EXPECT_EQ(r.language, (std::vector<std::string>{"en_US", "de_DE"}));
  EXPECT_EQ(r.format, ResourceFormat{323});
  EXPECT_EQ(r.eol, 1800000000);
  EXPECT_EQ(r.legacy, 0);
  EXPECT_EQ(r.tags, std::vector<std::string>{"stable"});
  EXPECT_EQ(r.severity, 3);

  ASSERT_TRUE(r.eula.has_value());
  EXPECT_EQ(r.eula->id, "eula");
  EXPECT_EQ(r.eula->path, "/eula.zip");
  EXPECT_EQ(r.eula->format, ResourceFormat{322});
  EXPECT_EQ(r.eula->hash, "11");
  EXPECT_EQ(r.eula->hash_sha256, "22");
  EXPECT_EQ(r.eula->version, "3");
  EXPECT_EQ(r.eula->version_id, 3);
  EXPECT_EQ(r.eula->tags, std::vector<std::string>{"legal"});

  ASSERT_TRUE(r.changelog.has_value());
  const Repository::Document& d = *r.changelog;
  EXPECT_EQ(d.path, "/notes.txt");
  EXPECT_EQ(d.type, 4);
  EXPECT_EQ(d.format, 5);
  EXPECT_EQ(d.version, "1");
  EXPECT_EQ(d.version_id, 10);
  EXPECT_EQ(d.hash, "33");
  EXPECT_EQ(d.hash_sha256, "44");
  EXPECT_EQ(d.language, std::vector<std::string>{"en"});
  EXPECT_EQ(d.display_name,
            (std::map<std::string, std::string>{{"de", "Hinweise"}, {"en", "Notes"}}))
      << "the first text of a language counts; texts only";
  ASSERT_TRUE(d.package.has_value());
  EXPECT_EQ(d.package->name, "suite");
  EXPECT_EQ(d.package->version_id_from, 1);
  EXPECT_FALSE(d.package->version_id_to.has_value());
  EXPECT_EQ(d.tags, std::vector<std::string>{"t"});
  EXPECT_EQ(d.effective_date, "2024-01-01");

  ASSERT_TRUE(r.update.has_value());
  ASSERT_EQ(r.update->base.size(), 2u);
  EXPECT_EQ(r.update->base[0].from, 1000);
  EXPECT_EQ(r.update->base[0].to, 1100);
  EXPECT_EQ(r.update->base[1].from, 1150);
  EXPECT_FALSE(r.update->base[1].to.has_value());
  EXPECT_EQ(r.update->level, 1);

  ASSERT_TRUE(r.dependencies.has_value());
  const Repository::Requirements& q = *r.dependencies;
  ASSERT_EQ(q.os.size(), 1u);
  EXPECT_EQ(q.os[0].type, 1);
  EXPECT_EQ(q.os[0].family, 2);
  EXPECT_EQ(q.os[0].name, "linux");
  EXPECT_EQ(q.os[0].edition, 3);
  EXPECT_EQ(q.os[0].version_from, 5);
  EXPECT_EQ(q.os[0].version_to, 6);
  EXPECT_EQ(q.os[0].bits, 64);
  ASSERT_EQ(q.non_os.size(), 1u);
  EXPECT_EQ(q.non_os[0].name, "other");
  EXPECT_EQ(q.platform, (std::vector<HwPlatform>{HwPlatform{1}, HwPlatform{7}}));
  ASSERT_EQ(q.manager.size(), 1u);
  EXPECT_EQ(q.manager[0].name, "mgr");
  EXPECT_EQ(q.manager[0].version_id_from, 1);
  ASSERT_EQ(q.package.size(), 1u);
  EXPECT_EQ(q.package[0].version_id_to, 9);
  ASSERT_TRUE(q.eula.has_value() && q.eula->package.has_value());
  EXPECT_EQ(q.eula->package->name, "eula-pkg");
  EXPECT_EQ(q.eula->package->version_id_to, 3);

  ASSERT_TRUE(r.token.has_value());
  EXPECT_EQ(r.token->id, "tok");
  EXPECT_EQ(r.token->deal_id, "deal");
}

TEST_F(ResourceListTest, CollectionResourcesFillTheirFieldsOnly) {
  const AppUpdateRecord r = Repository::ParseResource(tree_, {"coll", 1});
  EXPECT_EQ(r.id, "c");
  EXPECT_EQ(r.path, "/c.bin");
  EXPECT_EQ(r.version, "2");
  EXPECT_EQ(r.version_id, 20);
  EXPECT_EQ(r.hash, "55");
  EXPECT_EQ(r.hash_sha256, "66");
  EXPECT_EQ(r.format, ResourceFormat{10});
  EXPECT_EQ(r.tags, std::vector<std::string>{"x"});
  EXPECT_EQ(r.display_name, "");
  EXPECT_EQ(r.size, 0);
  EXPECT_FALSE(r.description.has_value());
}

TEST_F(ResourceListTest, MissingOrUnknownResourcesKeepOnlyTheSeverity) {
  for (const char* reference : {"missing", "odd", "", "root"}) {
    logger_.lines.clear();
    const AppUpdateRecord r = Repository::ParseResource(tree_, {reference, 7});
    std::ostringstream dump;
    Repository::DumpPackageInfo(dump, r);
    AppUpdateRecord empty;
    empty.severity = 7;
    std::ostringstream expected;
    Repository::DumpPackageInfo(expected, empty);
    EXPECT_EQ(dump.str(), expected.str()) << reference;
    ASSERT_EQ(logger_.lines.size(), 1u) << reference;
    EXPECT_EQ(logger_.lines[0].level, Repository::kLogWarning);
  }
}

struct MemberCase {
  const char* what;
  const char* members;  // members of the application object
  std::function<void(const AppUpdateRecord&)> check;
};

class ApplicationMemberTest : public testing::TestWithParam<MemberCase> {};

// The document also holds "doc" (a document) and "col" (a collection) for
// the named references.
TEST_P(ApplicationMemberTest, WrongTypesLeaveFieldsEmpty) {
  const MemberCase& c = GetParam();
  const DecisionTree tree = DecisionTree::Load(
      std::string(R"({"doc":{"document":{"path":"d"}},"col":{"collection":{"id":"c"}},)"
                  R"("r":{"application":{)") +
          c.members + "}}}",
      nullptr);
  ASSERT_FALSE(tree.Document().IsUndefined()) << c.members;
  c.check(Repository::ParseResource(tree, {"r", 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Members, ApplicationMemberTest,
    testing::Values(
        MemberCase{"version_id as text", R"("version_id":"123")",
                   [](const auto& r) { EXPECT_EQ(r.version_id, 0); }},
        MemberCase{"version_id as double", R"("version_id":1e3)",
                   [](const auto& r) { EXPECT_EQ(r.version_id, 0); }},
        MemberCase{"dev_stage low 32 bits", R"("dev_stage":4294967297)",
                   [](const auto& r) { EXPECT_EQ(r.dev_stage, 1); }},
        MemberCase{"dev_stage as text", R"("dev_stage":"2")",
                   [](const auto& r) { EXPECT_FALSE(r.dev_stage.has_value()); }},
        MemberCase{"format low 32 bits", R"("format":4294967619)",
                   [](const auto& r) { EXPECT_EQ(r.format, ResourceFormat{323}); }},
        MemberCase{"format as text", R"("format":"323")",
                   [](const auto& r) { EXPECT_EQ(r.format, ResourceFormat{0}); }},
        MemberCase{"hash as number", R"("hash":5)", [](const auto& r) { EXPECT_EQ(r.hash, ""); }},
        MemberCase{"description as number", R"("description":5)",
                   [](const auto& r) { EXPECT_FALSE(r.description.has_value()); }},
        MemberCase{"empty description", R"("description":"")",
                   [](const auto& r) { EXPECT_EQ(r.description, ""); }},
        MemberCase{"language as one text", R"("language":"en")",
                   [](const auto& r) { EXPECT_TRUE(r.language.empty()); }},
        MemberCase{"language with a number", R"("language":["en",5])",
                   [](const auto& r) {
                     EXPECT_EQ(r.language, (std::vector<std::string>{"en", ""}));
                   }},
        MemberCase{"eula naming a document", R"("eula":"doc")",
                   [](const auto& r) { EXPECT_FALSE(r.eula.has_value()); }},
        MemberCase{"eula naming nothing", R"("eula":"nothing")",
                   [](const auto& r) { EXPECT_FALSE(r.eula.has_value()); }},
        MemberCase{"eula as number", R"("eula":5)",
                   [](const auto& r) { EXPECT_FALSE(r.eula.has_value()); }},
        MemberCase{
            "eula naming a collection", R"("eula":"col")",
            [](const auto& r) { EXPECT_EQ(r.eula.value_or(Repository::Collection{}).id, "c"); }},
        MemberCase{"changelog naming a collection", R"("changelog":"col")",
                   [](const auto& r) { EXPECT_FALSE(r.changelog.has_value()); }},
        MemberCase{"changelog naming a document", R"("changelog":"doc")",
                   [](const auto& r) {
                     EXPECT_EQ(r.changelog.value_or(Repository::Document{}).path, "d");
                   }},
        MemberCase{"update as array", R"("update":[])",
                   [](const auto& r) { EXPECT_FALSE(r.update.has_value()); }},
        MemberCase{"update base elements of other types",
                   R"("update":{"base":[5,{"from":"1","to":2}],"level":"1"})",
                   [](const auto& r) {
                     ASSERT_TRUE(r.update.has_value());
                     ASSERT_EQ(r.update->base.size(), 2u);
                     EXPECT_FALSE(r.update->base[0].from.has_value());
                     EXPECT_FALSE(r.update->base[0].to.has_value());
                     EXPECT_FALSE(r.update->base[1].from.has_value());
                     EXPECT_EQ(r.update->base[1].to, 2);
                     EXPECT_FALSE(r.update->level.has_value());
                   }},
        MemberCase{"update base not an array", R"("update":{"base":{"from":1}})",
                   [](const auto& r) {
                     EXPECT_TRUE(r.update.value_or(Repository::UpdateBase{}).base.empty());
                   }},
        MemberCase{"platform of mixed types", R"("dependencies":{"platform":[1,"x",7,4294967297]})",
                   [](const auto& r) {
                     ASSERT_TRUE(r.dependencies.has_value());
                     EXPECT_EQ(r.dependencies->platform,
                               (std::vector<HwPlatform>{HwPlatform{1}, HwPlatform{0}, HwPlatform{7},
                                                        HwPlatform{1}}));
                   }},
        MemberCase{"os elements of other types",
                   R"("dependencies":{"os":[5,{"name":"n"}],"non_os":"x","manager":[true]})",
                   [](const auto& r) {
                     ASSERT_TRUE(r.dependencies.has_value());
                     ASSERT_EQ(r.dependencies->os.size(), 2u);
                     EXPECT_EQ(r.dependencies->os[0].name, "");
                     EXPECT_EQ(r.dependencies->os[1].name, "n");
                     EXPECT_TRUE(r.dependencies->non_os.empty());
                     ASSERT_EQ(r.dependencies->manager.size(), 1u);
                     EXPECT_EQ(r.dependencies->manager[0].name, "");
                     EXPECT_FALSE(r.dependencies->eula.has_value());
                   }},
        MemberCase{"dependency eula without a package", R"("dependencies":{"eula":{"package":5}})",
                   [](const auto& r) {
                     ASSERT_TRUE(r.dependencies.has_value() && r.dependencies->eula.has_value());
                     EXPECT_FALSE(r.dependencies->eula->package.has_value());
                   }},
        MemberCase{"dependencies as text", R"("dependencies":"x")",
                   [](const auto& r) { EXPECT_FALSE(r.dependencies.has_value()); }},
        MemberCase{"token as text", R"("token":"t")",
                   [](const auto& r) { EXPECT_FALSE(r.token.has_value()); }},
        MemberCase{"token member of another type", R"("token":{"id":5,"deal_id":"d"})",
                   [](const auto& r) {
                     ASSERT_TRUE(r.token.has_value());
                     EXPECT_EQ(r.token->id, "");
                     EXPECT_EQ(r.token->deal_id, "d");
                   }}),
    [](const testing::TestParamInfo<MemberCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p != 0; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(DumpPackageInfo, LabelsEveryFieldInRecordOrder) {
  AppUpdateRecord r;
  r.id = "suite";
  r.description = "d";
  r.version_id = 12;
  r.language = {"en", "de"};
  r.format = ResourceFormat{323};
  r.update = Repository::UpdateBase{{{1, 2}, {std::nullopt, 4}}, std::nullopt};
  r.token = Repository::Token{"t", "deal"};
  r.severity = -1;
  std::ostringstream text;
  Repository::DumpPackageInfo(text, r);
  EXPECT_EQ(text.str(),
            "id: suite\n"
            "path: \n"
            "display_name: \n"
            "description: d\n"
            "version: \n"
            "version_id: 12\n"
            "date: 0\n"
            "dev_stage: \n"
            "size: 0\n"
            "hash: \n"
            "hash_sha256: \n"
            "language: [en,de]\n"
            "format: 323\n"
            "eula: \n"
            "changelog: \n"
            "eol: \n"
            "legacy: \n"
            "update: \n"
            "base: [from: 1 to: 2,from:  to: 4]\n"
            "level: \n"
            "dependencies: \n"
            "tags: []\n"
            "token: \n"
            "id: t\n"
            "deal_id: deal\n"
            "severity: -1\n");
}

}  // namespace
}  // namespace upd::test
