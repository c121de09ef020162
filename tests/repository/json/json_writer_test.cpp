#include "repository/json/json_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "json_test_util.h"
#include "repository/json/json_parser.h"

namespace upd::test {
namespace {

using wexajson::kDocumentDepth;
using wexajson::Parse;
using wexajson::ToText;
using wexajson::Value;
using wexajson::Writer;

struct TextCase {
  const char* what;
  std::string json;
  std::string text;
};

class JsonToTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(JsonToTextTest, WritesTheExactText) {
  const TextCase& c = GetParam();
  const Value root = Parse(c.json, kDocumentDepth);
  ASSERT_FALSE(root.IsUndefined()) << c.json;
  EXPECT_EQ(ToText(root), c.text) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, JsonToTextTest,
    testing::Values(
        TextCase{"no blanks anywhere", R"({ "a" : 1 , "b" : [ true , null ] })",
                 R"({"a":1,"b":[true,null]})"},
        TextCase{"grandchild object and its key left out", R"({"a":{"b":{"c":1},"d":2},"e":3})",
                 R"({"a":{"d":2},"e":3})"},
        TextCase{"grandchild containers of arrays left out", R"([[[1],{"x":[]},2],[{}],3])",
                 R"([[2],[],3])"},
        TextCase{"only container grandchildren: empty parent", R"({"a":{"b":{}}})", R"({"a":{}})"},
        TextCase{"scalar root", R"("x")", R"("x")"},
        TextCase{"empty containers", R"([{},[]])", R"([{},[]])"},
        TextCase{"duplicate keys kept in order", R"({"a":1,"a":2})", R"({"a":1,"a":2})"},
        TextCase{"integers", "[0,-1,9223372036854775807,-9223372036854775808]",
                 "[0,-1,9223372036854775807,-9223372036854775808]"},
        TextCase{"doubles in the stream's default form",
                 "[0.1,1e20,2.5,100000.0,1000000.0,1e-5,0.0001,123456789.0,-0.0,1.5e300]",
                 "[0.1,1e+20,2.5,100000,1e+06,1e-05,0.0001,1.23457e+08,-0,1.5e+300]"},
        TextCase{"tab and 0x1F", R"(["a\tb\u001f"])", R"(["a\tb\u001f"])"},
        TextCase{"named controls and other controls", "[\"\\b\\f\\n\\r\\u0001\\u000b\\u0000\x1b\"]",
                 R"(["\b\f\n\r\u0001\u000b\u0000\u001b"])"},
        TextCase{"quotation mark and backslash escaped, slash not", R"(["\"\\\/"])",
                 R"(["\"\\/"])"},
        TextCase{"DEL and bytes above 0x7F as they are", "[\"\x7f\\u00e9\xc3\xa9\"]",
                 "[\"\x7f\xc3\xa9\xc3\xa9\"]"},
        TextCase{"keys escaped like strings", R"({"k\"\n":1,"":2})", R"({"k\"\n":1,"":2})"}),
    [](const testing::TestParamInfo<TextCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p != 0; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(JsonWriter, WriteValueHonoursDepthAndReportsWhatItWrote) {
  const Value root = Parse(R"({"a":[1,{"b":[2]}]})", 0, kDocumentDepth);
  struct Row {
    uint32_t max_depth;
    uint32_t depth;
    bool written;
    const char* text;
  } rows[] = {
      {0, 0, false, ""},
      {1, 0, true, "{}"},
      {3, 0, true, R"({"a":[1,{}]})"},
      {4, 0, true, R"({"a":[1,{"b":[2]}]})"},
      {4, 1, true, R"({"a":[1,{}]})"},
      {4, 4, false, ""},
  };
  for (const Row& r : rows) {
    Writer writer;
    EXPECT_EQ(Writer::WriteValue(root, writer, std::nullopt, r.max_depth, r.depth), r.written)
        << r.max_depth << "/" << r.depth;
    EXPECT_EQ(writer.Text(), r.text) << r.max_depth << "/" << r.depth;
  }
  Writer scalar;
  EXPECT_TRUE(Writer::WriteValue(root["a"].At(0), scalar, "ignored at the top", 0, 9))
      << "scalars are written at any depth";
  EXPECT_EQ(scalar.Text(), "1");
  Writer nothing;
  EXPECT_FALSE(Writer::WriteValue(Value(), nothing, std::nullopt, 2, 0));
  EXPECT_EQ(nothing.Text(), "");
  EXPECT_EQ(ToText(Value()), "");
}

TEST(JsonWriter, LiteralHandlesWriteTheirIntegerOrText) {
  const Value list = Parse("[5,6]", 0, kDocumentDepth);
  EXPECT_EQ(ToText(list.MemberName(1)), "1");
  EXPECT_EQ(ToText(Value::FromString("a\"b")), R"("a\"b")");
}

TEST(JsonWriter, KeyAndStringWritersQuoteAndEscape) {
  Writer writer;
  writer.WriteKey("k\t");
  writer.WriteString(std::string_view("x\0y", 3));
  EXPECT_EQ(writer.Text(), R"("k\t":"x\u0000y")");
}

// A random document the writer keeps whole: containers two levels deep,
// doubles with at most six significant digits and a fraction or an
// exponent, strings and keys of any bytes.
std::string RandomDocument(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto scalar = [&]() -> std::string {
    switch (pick(6)) {
      case 0:
        return std::to_string(static_cast<int64_t>(random()) - (int64_t{1} << 31)) + "000000";
      case 1: {
        // Doubles of whole numbers below 1e6 are written as integers.
        static const char* const kDoubles[] = {"2.5", "-0.125", "1e+20", "3.14159e-07",
                                               "0.1", "1234.5", "25e-1", "-7E-3"};
        return kDoubles[pick(8)];
      }
      case 2:
        return pick(2) != 0 ? "true" : "false";
      case 3:
        return "null";
      default: {
        std::string text;
        for (int i = pick(12); i > 0; --i) text += static_cast<char>(pick(256));
        Writer writer;
        writer.WriteString(text);
        return writer.Text();
      }
    }
  };
  auto key = [&] {
    std::string text;
    for (int i = pick(4); i > 0; --i) text += static_cast<char>(pick(256));
    Writer writer;
    writer.WriteKey(text);
    return writer.Text();
  };
  auto container = [&](auto&& inner, bool object) {
    std::string text = object ? "{" : "[";
    const int members = pick(6);
    for (int i = 0; i < members; ++i) {
      if (i != 0) text += ",";
      if (object) text += key();
      text += inner();
    }
    return text + (object ? "}" : "]");
  };
  auto level2 = [&] { return pick(3) == 0 ? container(scalar, pick(2) != 0) : scalar(); };
  return container(level2, pick(2) != 0);
}

TEST(JsonWriter, TextOfAWholeDocumentParsesBackToTheSameValues) {
  std::mt19937 random(20240229);
  for (int round = 0; round < 500; ++round) {
    const std::string json = RandomDocument(random);
    const Value first = Parse(json, kDocumentDepth);
    ASSERT_FALSE(first.IsUndefined()) << json;
    const std::string text = ToText(first);
    const Value second = Parse(text, kDocumentDepth);
    ASSERT_EQ(Describe(second), Describe(first)) << json << "\nwritten as\n" << text;
  }
}

}  // namespace
}  // namespace upd::test
