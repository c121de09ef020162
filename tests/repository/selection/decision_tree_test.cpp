#include "repository/selection/decision_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_logger.h"
#include "repository/json/json_parser.h"
#include "repository/json/json_test_util.h"
#include "repository/small_stack.h"

namespace upd::test {
namespace {

using Results = std::vector<DecisionTreeResult>;

// A document whose tree is the given switch, with optional defaults.
std::string TreeDocument(const std::string& switch_node, const std::string& defaults = "{}") {
  return R"({"manifest":{"version":3},"root":{"decision_tree":{"revision":17,"defaults":)" +
         defaults + R"(,"switch":)" + switch_node + "}}}";
}

std::vector<std::string> References(const Results& results) {
  std::vector<std::string> references;
  for (const DecisionTreeResult& r : results) references.push_back(r.reference);
  return references;
}

struct OperatorCase {
  const char* what;
  const char* values;   // the variable's array text; null: the variable is absent
  const char* members;  // operator members of the case
  bool expected;
};

class DecisionTreeOperatorTest : public testing::TestWithParam<OperatorCase> {};

// The case names file "hit" and the else node "else"; else runs when no case
// was true or when the variable's first element is null.
TEST_P(DecisionTreeOperatorTest, CaseIsTrueOrFalse) {
  const OperatorCase& c = GetParam();
  const std::string members = c.members[0] != 0 ? std::string(c.members) + "," : "";
  const DecisionTree tree =
      DecisionTree::Load(TreeDocument(R"({"var":"v","cases":[{)" + members +
                                      R"("file":[{"reference":"hit"}]}],)"
                                      R"("else":{"file":[{"reference":"else"}]}})"),
                         nullptr);
  PackageCondition condition(nullptr);
  if (c.values != nullptr) condition.Add("v", c.values);
  const std::vector<std::string> references = References(tree.Evaluate(condition));
  const bool hit = std::find(references.begin(), references.end(), "hit") != references.end();
  const bool otherwise =
      std::find(references.begin(), references.end(), "else") != references.end();
  EXPECT_EQ(hit, c.expected) << c.what;
  const bool first_null = condition.Get("v").At(0).IsNull();
  EXPECT_EQ(otherwise, !c.expected || first_null) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Operators, DecisionTreeOperatorTest,
    testing::Values(
        // Texts: ASCII letters fold, other bytes compare as signed values.
        OperatorCase{"text eq folds case", R"(["Linux"])", R"("eq":"linux")", true},
        OperatorCase{"text eq other", R"(["Linux"])", R"("eq":"Linux2")", false},
        OperatorCase{"text ne same", R"(["Linux"])", R"("ne":"LINUX")", false},
        OperatorCase{"text gt", R"(["Linux"])", R"("gt":"LINUW")", true},
        OperatorCase{"text gt not", R"(["Linux"])", R"("gt":"linuy")", false},
        OperatorCase{"text ge equal", R"(["Linux"])", R"("ge":"LINUX")", true},
        OperatorCase{"text lt", R"(["Linux"])", R"("lt":"m")", true},
        OperatorCase{"text le not", R"(["Linux"])", R"("le":"LINUW")", false},
        OperatorCase{"bytes above 0x7F sort below ASCII", R"(["\u00e9"])", R"("lt":"a")", true},
        OperatorCase{"starts_with", R"(["Linux"])", R"("starts_with":"LI")", true},
        OperatorCase{"starts_with not", R"(["Linux"])", R"("starts_with":"ux")", false},
        OperatorCase{"starts_with empty", R"(["Linux"])", R"("starts_with":"")", true},
        OperatorCase{"ends_with", R"(["Linux"])", R"("ends_with":"nux")", true},
        OperatorCase{"ends_with longer than the text", R"(["Linux"])", R"("ends_with":"xLinux")",
                     false},
        OperatorCase{"contains empty", R"(["Linux"])", R"("contains":"")", true},
        OperatorCase{"contains folds case", R"(["Linux"])", R"("contains":"NU")", true},
        OperatorCase{"not_contains found", R"(["Linux"])", R"("not_contains":"nu")", false},
        OperatorCase{"not_contains absent", R"(["Linux"])", R"("not_contains":"zz")", true},
        OperatorCase{"text in_range", R"(["Linux"])", R"("in_range":["k","m"])", true},
        OperatorCase{"text in_range bounds inclusive", R"(["Linux"])",
                     R"("in_range":["LINUX","linux"])", true},
        OperatorCase{"text in_range below", R"(["Linux"])", R"("in_range":["m","z"])", false},
        OperatorCase{"in_range one bound", R"(["Linux"])", R"("in_range":["a"])", false},
        OperatorCase{"not_in_range one bound", R"(["Linux"])", R"("not_in_range":["a"])", true},
        OperatorCase{"in_range not an array", R"(["Linux"])", R"("in_range":"a")", false},
        OperatorCase{"text in_set", R"(["Linux"])", R"("in_set":["x","LINUX"])", true},
        OperatorCase{"in_set empty", R"(["Linux"])", R"("in_set":[])", false},
        OperatorCase{"not_in_set", R"(["Linux"])", R"("not_in_set":["x"])", true},
        OperatorCase{"number operand as text", R"(["12"])", R"("eq":12)", true},
        OperatorCase{"double operand as %f text", R"(["12"])", R"("eq":12.0)", false},
        // Integers.
        OperatorCase{"int in_range inclusive", "[5]", R"("in_range":[1,5])", true},
        OperatorCase{"int in_range three bounds", "[5]", R"("in_range":[1,5,9])", false},
        OperatorCase{"int not_in_range three bounds", "[5]", R"("not_in_range":[1,5,9])", true},
        OperatorCase{"int in_range reversed", "[5]", R"("in_range":[6,1])", false},
        OperatorCase{"int in_set text item", "[5]", R"("in_set":["5"])", true},
        OperatorCase{"int contains", "[5]", R"("contains":"5")", false},
        OperatorCase{"int not_contains", "[5]", R"("not_contains":"5")", true},
        OperatorCase{"int starts_with", "[5]", R"("starts_with":"")", false},
        OperatorCase{"int eq text operand", "[5]", R"("eq":"5")", true},
        OperatorCase{"int gt", "[5]", R"("gt":4)", true},
        OperatorCase{"int ge equal", "[5]", R"("ge":5)", true},
        OperatorCase{"int le below", "[5]", R"("le":4)", false},
        OperatorCase{"int operand not a number is 0", "[5]", R"("lt":"abc")", false},
        OperatorCase{"int ne", "[5]", R"("ne":5)", false},
        // Doubles, where "ge" is "not less" and so holds against NaN.
        OperatorCase{"double eq", "[2.5]", R"("eq":2.5)", true},
        OperatorCase{"double gt int operand", "[2.5]", R"("gt":2)", true},
        OperatorCase{"double eq text operand", "[2.5]", R"("eq":"2.5")", true},
        OperatorCase{"double in_range", "[2.5]", R"("in_range":[2.5,3])", true},
        OperatorCase{"double lt NaN", "[2.5]", R"("lt":"nan")", false},
        OperatorCase{"double ge NaN", "[2.5]", R"("ge":"nan")", true},
        OperatorCase{"double le NaN", "[2.5]", R"("le":"nan")", true},
        OperatorCase{"double ends_with", "[2.5]", R"("ends_with":"5")", false},
        // Booleans, false below true.
        OperatorCase{"bool eq", "[true]", R"("eq":true)", true},
        OperatorCase{"bool gt", "[true]", R"("gt":false)", true},
        OperatorCase{"bool lt", "[true]", R"("lt":true)", false},
        OperatorCase{"bool le", "[true]", R"("le":false)", false},
        OperatorCase{"bool in_range", "[true]", R"("in_range":[false,true])", true},
        OperatorCase{"bool text operand is false", "[true]", R"("eq":"x")", false},
        OperatorCase{"bool int operand", "[true]", R"("eq":1)", true},
        OperatorCase{"bool in_set numbers", "[true]", R"("in_set":[0,1])", true},
        // Other elements.
        OperatorCase{"null satisfies anything", "[null]", R"("contains":"zz")", true},
        OperatorCase{"null satisfies in_range", "[null, 1]", R"("in_range":["a"])", true},
        OperatorCase{"array element", "[[1]]", R"("eq":1)", false},
        OperatorCase{"object element", "[{}]", R"("ne":1)", false},
        OperatorCase{"any element suffices", R"(["a","b"])", R"("eq":"B")", true},
        OperatorCase{"no element", "[]", R"("ne":"x")", false},
        OperatorCase{"absent variable", nullptr, R"("ne":"x")", false},
        OperatorCase{"no operator", nullptr, R"("EQ":"x","unknown":1)", true},
        OperatorCase{"first operator counts", "[5]", R"("gt":1,"lt":3)", true},
        OperatorCase{"first operator counts, false", "[5]", R"("lt":3,"gt":1)", false},
        OperatorCase{"operators match exactly", "[5]", R"("Gt":1,"le":3)", false}),
    [](const testing::TestParamInfo<OperatorCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p != 0; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(DecisionTreeLoad, LogsManifestVersionAndRevision) {
  RecordingLogger logger;
  const DecisionTree tree = DecisionTree::Load(TreeDocument("null"), &logger);
  EXPECT_EQ(tree.GetManifestVersion(), 3);
  EXPECT_EQ(tree.GetContentRevision(), 17);
  ASSERT_EQ(logger.lines.size(), 2u);
  EXPECT_EQ(logger.lines[0].text, "Manifest version: 3\n");
  EXPECT_EQ(logger.lines[1].text, "Content revision: 17\n");
  EXPECT_EQ(logger.lines[1].level, Repository::kLogTrace);
}

TEST(DecisionTreeLoad, TextThatDoesNotParseSelectsNothing) {
  RecordingLogger logger;
  const DecisionTree tree = DecisionTree::Load(R"({"manifest":{"version":3})", &logger);
  EXPECT_TRUE(tree.Document().IsUndefined());
  EXPECT_EQ(logger.Starting("Manifest version: "),
            std::vector<std::string>{"Manifest version: 0\n"});
  EXPECT_EQ(logger.Starting("Content revision: "),
            std::vector<std::string>{"Content revision: 0\n"});
  PackageCondition condition(nullptr);
  EXPECT_TRUE(tree.Evaluate(condition).empty());
  EXPECT_TRUE(DecisionTree::Load("", nullptr).Evaluate(condition).empty());
}

TEST(DecisionTreeWalk, MissingSwitchIsALeaf) {
  RecordingLogger logger;
  const DecisionTree tree = DecisionTree::Load(R"({"root":{"decision_tree":{}}})", &logger);
  PackageCondition condition(nullptr);
  logger.lines.clear();
  EXPECT_TRUE(tree.Evaluate(condition).empty());
  ASSERT_EQ(logger.lines.size(), 1u);
  EXPECT_EQ(logger.lines[0].level, Repository::kLogDetail);
  EXPECT_EQ(logger.lines[0].text, "Switch node: leaf node reached\n");
}

// Two true cases both contribute, each with its nested switch walked before
// the next case; the else node is then skipped.
TEST(DecisionTreeWalk, TrueCasesContributeDepthFirst) {
  const std::string inner = R"({"var":"w","cases":[{"file":[{"reference":"inner"}]}]})";
  RecordingLogger logger;
  const DecisionTree tree =
      DecisionTree::Load(TreeDocument(R"({"var":"v","cases":[)"
                                      R"({"eq":"a","file":[{"reference":"first"}],"switch":)" +
                                      inner +
                                      "},"
                                      R"({"eq":"x","file":[{"reference":"never"}]},)"
                                      R"({"ne":"z","file":[{"reference":"second"}]}],)"
                                      R"("else":{"file":[{"reference":"else"}]}})"),
                         &logger);
  PackageCondition condition(nullptr);
  condition.Add("v", R"(["A"])");
  const Results results = tree.Evaluate(condition);
  EXPECT_EQ(References(results), (std::vector<std::string>{"first", "inner", "second"}));
  EXPECT_EQ(
      logger.Starting("File node: "),
      (std::vector<std::string>{"File node: adding result, reference = first, severity = 1\n",
                                "File node: adding result, reference = inner, severity = 1\n",
                                "File node: adding result, reference = second, severity = 1\n"}));
  EXPECT_TRUE(logger.Starting("Switch node: parsing else").empty());
  EXPECT_EQ(
      logger.Starting("Case node: variableId = v, case = {\"eq\":\"a\""),
      std::vector<std::string>{
          R"(Case node: variableId = v, case = {"eq":"a","file":[],"switch":{"var":"w"}}, values = ["A"], evaluated as 1)"
          "\n"});
  EXPECT_EQ(tree.Evaluate(condition), results) << "a tree evaluates the same way twice";
}

TEST(DecisionTreeWalk, ElseIsACaseOfItsOwn) {
  const auto evaluate = [](const std::string& else_node, const char* values) {
    const DecisionTree tree = DecisionTree::Load(
        TreeDocument(R"({"var":"v","cases":[{"eq":"x","file":[{"reference":"case"}]}],"else":)" +
                     else_node + "}"),
        nullptr);
    PackageCondition condition(nullptr);
    condition.Add("v", values);
    return References(tree.Evaluate(condition));
  };
  const std::string with_operator = R"({"eq":"b","file":[{"reference":"else"}]})";
  EXPECT_EQ(evaluate(with_operator, R"(["b"])"), std::vector<std::string>{"else"});
  EXPECT_TRUE(evaluate(with_operator, R"(["c"])").empty());
  EXPECT_EQ(evaluate(with_operator, R"(["x"])"), std::vector<std::string>{"case"});
  // A null first element runs every case with an operator and the else too.
  EXPECT_EQ(evaluate(R"({"file":[{"reference":"else"}]})", "[null]"),
            (std::vector<std::string>{"case", "else"}));
  EXPECT_TRUE(evaluate("null", R"(["c"])").empty()) << "a null else has no file";
}

TEST(DecisionTreeWalk, FilesGiveDistinctOrderedPairs) {
  const DecisionTree tree = DecisionTree::Load(
      TreeDocument(
          R"({"var":"v","cases":[{"file":[)"
          R"({"reference":"a","severity":2},{"reference":"a"},{"reference":"a","severity":2},)"
          R"({"reference":"b","severity":4294967296},{"reference":"b","severity":2.0},)"
          R"({"reference":"c","severity":"7"},{"reference":"B","severity":-3},)"
          R"({"reference":5},{"severity":9},"not an object"]}]})"),
      nullptr);
  PackageCondition condition(nullptr);
  const Results results = tree.Evaluate(condition);
  const Results expected = {{"", 1},  {"", 9},  {"5", 1}, {"B", -3},
                            {"a", 1}, {"a", 2}, {"b", 1}, {"c", 7}};
  EXPECT_EQ(results, expected);
}

TEST(DecisionTreeWalk, FileMemberMustBeAnArray) {
  const DecisionTree tree = DecisionTree::Load(
      TreeDocument(R"({"var":"v","cases":[{"file":{"reference":"a"}},{"file":"b"}]})"), nullptr);
  PackageCondition condition(nullptr);
  EXPECT_TRUE(tree.Evaluate(condition).empty());
}

TEST(DecisionTreeDefaults, FillOnlyWhatTheConditionLacks) {
  RecordingLogger logger;
  const DecisionTree tree = DecisionTree::Load(
      TreeDocument("null", R"({"language":"en-US","os.type":"Linux","quote":"a\"b","int":-4,)"
                           R"("double":1.5,"bool":false,"nothing":null,"list":["x"],"map":{},)"
                           R"("int":99,"Language":"fr"})"),
      &logger);
  PackageCondition condition(nullptr);
  condition.SetOsType("Windows");
  logger.lines.clear();
  (void)tree.Evaluate(condition);
  EXPECT_EQ(Describe(condition.Get("language")), R"(["en-US"])") << "no hyphen replacement";
  EXPECT_EQ(Describe(condition.Get("os.type")), R"(["Windows"])");
  EXPECT_EQ(Describe(condition.Get("quote")), R"(["a\x22b"])");
  EXPECT_EQ(Describe(condition.Get("int")), "[-4]") << "the first default of a name counts";
  EXPECT_EQ(Describe(condition.Get("double")), "[d(1.5)]");
  EXPECT_EQ(Describe(condition.Get("bool")), "[false]");
  EXPECT_EQ(Describe(condition.Get("nothing")), "[null]");
  EXPECT_FALSE(condition.Has("list"));
  EXPECT_FALSE(condition.Has("map"));
  EXPECT_EQ(logger.Starting("Adding default value"),
            (std::vector<std::string>{
                "Adding default value to package condition, key = language, value = [\"en-US\"]\n",
                "Adding default value to package condition, key = quote, value = [\"a\\\"b\"]\n",
                "Adding default value to package condition, key = int, value = [-4]\n",
                "Adding default value to package condition, key = double, value = [1.5]\n",
                "Adding default value to package condition, key = bool, value = [false]\n",
                "Adding default value to package condition, key = nothing, value = [null]\n",
                "Adding default value to package condition, key = list, value = \n",
                "Adding default value to package condition, key = map, value = \n"}));
}

TEST(DecisionTreeDefaults, ApplyBeforeTheWalk) {
  const DecisionTree tree = DecisionTree::Load(
      TreeDocument(
          R"({"var":"language","cases":[{"starts_with":"en","file":[{"reference":"en"}]}]})",
          R"({"language":"en-GB"})"),
      nullptr);
  PackageCondition unset(nullptr);
  EXPECT_EQ(References(tree.Evaluate(unset)), std::vector<std::string>{"en"});
  PackageCondition set(nullptr);
  set.SetLanguage("de-DE");
  EXPECT_TRUE(tree.Evaluate(set).empty());
}

// Each level is a switch whose one case holds a file and the next switch.
std::string DeepTree(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) {
    text +=
        R"({"var":"v","cases":[{"file":[{"reference":"r)" + std::to_string(i) + R"("}],"switch":)";
  }
  text += "null";
  for (int i = 0; i < levels; ++i) text += "}]}";
  return TreeDocument(text);
}

TEST(DecisionTreeDeep, TenThousandNestedSwitchesOnASmallStack) {
  const std::string text = DeepTree(10000);
  size_t loaded = 1;
  size_t walked = 0;
  std::string innermost;
  RunOnSmallStack([&] {
    PackageCondition condition(nullptr);
    // Refused by the parse at the repository's depth: nothing is selected.
    loaded = DecisionTree::Load(text, nullptr).Evaluate(condition).size();
    RecordingLogger logger;
    const DecisionTree deep(wexajson::Parse(text, 1000000), &logger);
    const Results results = deep.Evaluate(condition);
    walked = results.size();
    const std::vector<std::string> files = logger.Starting("File node: ");
    innermost = files.empty() ? "" : files.back();
  });
  EXPECT_EQ(loaded, 0u);
  EXPECT_EQ(walked, 10000u);
  EXPECT_EQ(innermost, "File node: adding result, reference = r9999, severity = 1\n");
}

}  // namespace
}  // namespace upd::test
