#include "repository/selection/package_condition.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "recording_logger.h"
#include "repository/json/json_test_util.h"
#include "repository/selection/json_text.h"

namespace upd::test {
namespace {

struct SetterCase {
  const char* what;
  std::function<void(PackageCondition&)> set;
  const char* key;
  const char* stored;  // Describe of the stored value
};

class PackageConditionSetterTest : public testing::TestWithParam<SetterCase> {};

TEST_P(PackageConditionSetterTest, StoresAOneElementArray) {
  const SetterCase& c = GetParam();
  PackageCondition condition(nullptr);
  c.set(condition);
  EXPECT_TRUE(condition.Has(c.key)) << c.what;
  EXPECT_EQ(Describe(condition.Get(c.key)), c.stored) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Setters, PackageConditionSetterTest,
    testing::Values(
        SetterCase{"os type", [](auto& c) { c.SetOsType("Linux"); }, "os.type", R"(["Linux"])"},
        SetterCase{"language hyphens", [](auto& c) { c.SetLanguage("de-DE"); }, "language",
                   R"(["de_DE"])"},
        SetterCase{"every hyphen", [](auto& c) { c.SetLanguage("-a-b-"); }, "language",
                   R"(["_a_b_"])"},
        SetterCase{"language as plain text", [](auto& c) { c.SetStringArray("language", "de-DE"); },
                   "language", R"(["de-DE"])"},
        SetterCase{"null language", [](auto& c) { c.SetLanguage(nullptr); }, "language", "[null]"},
        SetterCase{"os bits", [](auto& c) { c.SetOsBits("64"); }, "os.bits", R"(["64"])"},
        SetterCase{"package system", [](auto& c) { c.SetOsPackageSystem("deb"); },
                   "os.package_system", R"(["deb"])"},
        SetterCase{"platform", [](auto& c) { c.SetPlatform("x86-64"); }, "platform",
                   R"(["x86-64"])"},
        SetterCase{"null edition", [](auto& c) { c.SetOsEdition(nullptr); }, "os.edition",
                   "[null]"},
        SetterCase{"deal id", [](auto& c) { c.SetDealId("D-1"); }, "deal_id", R"(["D-1"])"},
        SetterCase{"app version 0", [](auto& c) { c.SetAppVersion(0); }, "app.version", "[0]"},
        SetterCase{"negative base", [](auto& c) { c.SetBase(-5); }, "base", "[-5]"},
        SetterCase{"app code", [](auto& c) { c.SetAppCode(INT64_MIN); }, "app.code",
                   "[-9223372036854775808]"},
        SetterCase{"os version", [](auto& c) { c.SetOsVersion(INT64_MAX); }, "os.version",
                   "[9223372036854775807]"},
        // Texts that unescaped quoting would split or break stay one element.
        SetterCase{"quotation marks", [](auto& c) { c.SetDealId(R"(x","y)"); }, "deal_id",
                   R"(["x\x22,\x22y"])"},
        SetterCase{"lone quotation mark", [](auto& c) { c.SetDealId(R"(a"b)"); }, "deal_id",
                   R"(["a\x22b"])"},
        SetterCase{"backslashes", [](auto& c) { c.SetOsType(R"(C:\new\u0041)"); }, "os.type",
                   R"(["C:\x5cnew\x5cu0041"])"},
        SetterCase{"controls and UTF-8", [](auto& c) { c.SetPlatform("t\tn\n\x01\xc3\xa9"); },
                   "platform", R"(["t\x09n\x0a\x01\xc3\xa9"])"},
        SetterCase{"language with quotes and hyphens", [](auto& c) { c.SetLanguage(R"(a-"b\)"); },
                   "language", R"(["a_\x22b\x5c"])"}),
    [](const testing::TestParamInfo<SetterCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p != 0; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(PackageCondition, KeysIgnoreTheCaseOfLettersOnly) {
  PackageCondition condition(nullptr);
  condition.SetOsType("first");
  condition.SetOsType("second");
  EXPECT_TRUE(condition.Has("OS.TYPE"));
  EXPECT_EQ(Describe(condition.Get("Os.Type")), R"(["second"])");
  condition.Add("OS.Type", "[3]");
  EXPECT_EQ(Describe(condition.Get("os.type")), "[3]");
  EXPECT_FALSE(condition.Has("os.typ"));
  EXPECT_FALSE(condition.Has("os_type"));
  condition.Add("\xc3\x89t\xc3\xa9", "[1]");
  EXPECT_TRUE(condition.Has("\xc3\x89T\xc3\xa9")) << "ASCII letters fold";
  EXPECT_FALSE(condition.Has("\xc3\xa9t\xc3\xa9")) << "other bytes do not";
}

TEST(PackageCondition, AbsentKeysAndUnparsedTexts) {
  PackageCondition condition(nullptr);
  EXPECT_FALSE(condition.Has("missing"));
  EXPECT_TRUE(condition.Get("missing").IsUndefined());
  EXPECT_EQ(condition.Get("missing").Size(), 0u);
  EXPECT_FALSE(condition.Has("missing")) << "a lookup adds nothing";
  condition.Add("broken", "[1,");
  EXPECT_TRUE(condition.Has("broken")) << "whatever the parser gives is stored";
  EXPECT_TRUE(condition.Get("broken").IsUndefined());
  condition.Add(nullptr, "[1]");
  EXPECT_FALSE(condition.Has(nullptr));
  EXPECT_TRUE(condition.Get(nullptr).IsUndefined());
}

TEST(PackageCondition, CopiesAreIndependentAndShareDocuments) {
  PackageCondition original(nullptr);
  original.SetOsType("Linux");
  PackageCondition copy = original;
  copy.SetOsType("Other");
  copy.SetBase(1);
  EXPECT_EQ(Describe(original.Get("os.type")), R"(["Linux"])");
  EXPECT_FALSE(original.Has("base"));
  EXPECT_EQ(PackageCondition(original).Get("os.type").GetDocument(),
            original.Get("os.type").GetDocument());
}

TEST(PackageCondition, LogsEveryAddBeforeParsing) {
  RecordingLogger logger;
  PackageCondition condition(&logger);
  condition.SetLanguage("en-US");
  condition.Add("k", "not json");
  ASSERT_EQ(logger.lines.size(), 2u);
  EXPECT_EQ(logger.lines[0].level, Repository::kLogTrace);
  EXPECT_EQ(logger.lines[0].text, "PackageCondition: adding key = language, value = [\"en_US\"]\n");
  EXPECT_EQ(logger.lines[1].text, "PackageCondition: adding key = k, value = not json\n");
}

TEST(JsonText, LiteralsOfEachType) {
  const int64_t negative = -5;
  const double half = 1.5;
  const double tiny = 1e-7;
  const bool yes = true;
  const bool no = false;
  EXPECT_EQ(JsonInt64Text(&negative), "-5");
  EXPECT_EQ(JsonDoubleText(&half), "1.500000");
  EXPECT_EQ(JsonDoubleText(&tiny), "0.000000");
  EXPECT_EQ(JsonBoolText(&yes), "true");
  EXPECT_EQ(JsonBoolText(&no), "false");
  EXPECT_EQ(JsonQuoteString("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(JsonQuoteString(nullptr), "null");
  EXPECT_EQ(JsonInt64Text(nullptr), "null");
  EXPECT_EQ(JsonDoubleText(nullptr), "null");
  EXPECT_EQ(JsonBoolText(nullptr), "null");

  PackageCondition condition(nullptr);
  condition.Add("d", ("[" + JsonDoubleText(&half) + "]").c_str());
  EXPECT_EQ(Describe(condition.Get("d")), "[d(1.5)]");
}

}  // namespace
}  // namespace upd::test
