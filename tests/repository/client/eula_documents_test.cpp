#include "repository/client/eula_documents.h"

#include <gtest/gtest.h>

#include <string>

#include "repository/client/host_lists.h"

namespace upd::test {
namespace {

TEST(EulaLanguages, CaseAndDashOrUnderscoreDoNotMatter) {
  struct Case {
    const char* a;
    const char* b;
    bool match;
  };
  const Case cases[] = {
      {"EN_us", "en-US", true}, {"en-us", "en_US", true}, {"de", "DE", true},
      {"", "", true},           {"en", "en-US", false},   {"", "en", false},
      {"en-GB", "en-US", false}, {"e-", "e_", true},      {"a_", "a.", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguagesMatch(c.a, c.b), c.match) << c.a << " / " << c.b;
    EXPECT_EQ(LanguagesMatch(c.b, c.a), c.match) << c.b << " / " << c.a;
  }
}

TEST(EulaVersions, LevelsTellHowFarTheAcceptedComponentIsBehind) {
  struct Case {
    const char* accepted;  // null: no component of that name
    uint32_t level;
  };
  const Case cases[] = {
      {"2.1.0", 2}, {"2.0.9", 3}, {"1.9", 4}, {nullptr, 4},
      {"2.1.5", 1}, {"2.2", 1},   {"3.0.0", 1},
  };
  for (const Case& c : cases) {
    ComponentList components;
    components.Add({"other", "9.9.9"});
    if (c.accepted != nullptr) components.Add({"suite", c.accepted});
    EXPECT_EQ(CompareComponentVersions({"suite", "x"}, "2.1.5", components.Array()), c.level)
        << (c.accepted ? c.accepted : "none");
  }
  ComponentList two;
  two.Add({"suite", "1.0"});
  two.Add({"x", "2.1.1"});
  EXPECT_EQ(CompareComponentVersions({"suite", "x"}, "2.1.5", two.Array()), 2u)
      << "the smallest level counts";
  EXPECT_EQ(CompareComponentVersions({"suite"}, "2.1.5", nullptr), 4u);
}

TEST(EulaVersions, AnInstalledFileIsCurrentForItsTagVersionAndLanguage) {
  AppUpdateRecord record;
  record.tags = {"home", "suite"};
  record.version = "1.10.0";
  struct Case {
    const char* name;
    const char* version;
    const char* language;
    bool current;
  };
  const Case cases[] = {
      {"suite", "1.10.0", "EN_us", true},  {"suite", "1.10.0", "en-US", true},
      {"suite", "2.0", "en_US", true},     {"suite", "1.2.0", "en_US", false},
      {"suite", "1.10.0", "de_DE", false}, {"Suite", "1.10.0", "en_US", false},
      {"pro", "1.10.0", "en_US", false},
  };
  for (const Case& c : cases) {
    EulaFileList files;
    EulaFileRecord& file = files.Add({"/t/eula.txt", c.name, c.version, c.language});
    EXPECT_EQ(IsEulaFileCurrent(file, record, "en-US"), c.current)
        << c.name << " " << c.version << " " << c.language;
  }
}

// Documents in manifest order: each row shows one reason to pass over one.
const char kManifest[] = R"([
  {"document": {"format": 200, "language": ["en_US"], "path": "wrong-format.html", "hash": "H0"}},
  {"document": {"format": 136, "language": ["de_DE"], "path": "german.html", "hash": "H1"}},
  {"document": {"format": 136, "language": "en_US", "path": "not-a-list.html", "hash": "H2"}},
  {"document": {"format": 129, "language": ["de", "EN-us"], "path": "", "hash": "H3"}},
  {"document": {"format": 136, "language": ["en_US"], "path": "accepted.html", "hash": "H4"}},
  {"document": {"format": "136", "language": ["en_US"], "path": "text-format.html", "hash": "H5"}},
  {"document": {"format": 129, "language": ["en_us"], "path": "shown.html", "hash": "H6",
                "effective_date": "2026-01-01"}},
  {"document": {"format": 136, "language": ["en_US"], "path": "later.html", "hash": "H7"}},
  {"document": {"type": 15, "format": 7, "language": ["en_US"], "path": "kept7.txt", "hash": "K7"}},
  {"document": {"type": 15, "format": 3, "language": ["de_DE"], "path": "kept3de.txt"}},
  {"document": {"type": 15, "format": 3, "language": ["en-us"], "path": "kept3.txt", "hash": "K3"}},
  {"other": {}}
])";

TEST(EulaManifest, TheShownDocumentIsTheFirstUnacceptedOneInTheLanguage) {
  ComponentList components;
  components.Add({"suite", "1.0", "H4"});
  std::optional<ManifestDocument> shown =
      FindShownDocument(kManifest, "en-US", components.Array());
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->path, "shown.html");
  EXPECT_EQ(shown->hash, "H6");
  EXPECT_EQ(shown->effectiveDate, "2026-01-01");

  ComponentList none;
  EXPECT_EQ(FindShownDocument(kManifest, "en_US", none.Array())->path, "accepted.html");
  EXPECT_EQ(FindShownDocument(kManifest, "de-de", none.Array())->path, "german.html");
  EXPECT_FALSE(FindShownDocument(kManifest, "fr", none.Array()).has_value());
  EXPECT_FALSE(FindShownDocument("[{\"document\": ", "en_US", none.Array()).has_value());
}

TEST(EulaManifest, TheKeptFileIsTheFirstOfTypeFifteenInFormatAndLanguage) {
  EXPECT_EQ(FindKeptDocument(kManifest, 3, "EN_US")->path, "kept3.txt");
  EXPECT_EQ(FindKeptDocument(kManifest, 3, "EN_US")->hash, "K3");
  EXPECT_EQ(FindKeptDocument(kManifest, 3, "de_DE")->hash, "");
  EXPECT_EQ(FindKeptDocument(kManifest, 7, "en_US")->path, "kept7.txt");
  EXPECT_FALSE(FindKeptDocument(kManifest, 136, "en_US").has_value());
  EXPECT_FALSE(FindKeptDocument("not json", 3, "en_US").has_value());
}

}  // namespace
}  // namespace upd::test
