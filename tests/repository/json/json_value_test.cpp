#include "repository/json/json_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "json_test_util.h"
#include "repository/json/json_parser.h"

namespace upd::test {
namespace {

using wexajson::kDocumentDepth;
using wexajson::Parse;
using wexajson::String;
using wexajson::Value;
using wexajson::ValueIterator;

// The element of a one-element array.
Value Element(const std::string& json) {
  const Value root = Parse("[" + json + "]", kDocumentDepth);
  EXPECT_EQ(root.Size(), 1u) << json;
  return root.At(0);
}

// Expected results; nullopt: the caller's default.
struct ConversionCase {
  const char* json;
  std::optional<bool> as_bool;
  std::optional<int64_t> as_int64;
  std::optional<int32_t> as_int32;
  std::optional<double> as_double;
  std::optional<std::string> as_string;
};

class JsonConversionTest : public testing::TestWithParam<ConversionCase> {};

// Each conversion is tried with two defaults, so that a default is told apart
// from a converted value that happens to equal it.
TEST_P(JsonConversionTest, ConvertsOrGivesTheDefault) {
  const ConversionCase& c = GetParam();
  const Value v = Element(c.json);
  for (bool d : {false, true}) EXPECT_EQ(v.AsBool(d), c.as_bool.value_or(d)) << c.json;
  for (int64_t d : {int64_t{-11}, int64_t{77}})
    EXPECT_EQ(v.AsInt64(d), c.as_int64.value_or(d)) << c.json;
  for (int32_t d : {-11, 77}) EXPECT_EQ(v.AsInt32(d), c.as_int32.value_or(d)) << c.json;
  for (double d : {-11.5, 77.5}) EXPECT_EQ(v.AsDouble(d), c.as_double.value_or(d)) << c.json;
  for (const char* d : {"<a>", "<b>"}) EXPECT_EQ(v.AsString(d), c.as_string.value_or(d)) << c.json;
}

INSTANTIATE_TEST_SUITE_P(
    Types, JsonConversionTest,
    testing::Values(
        ConversionCase{"true", true, 1, 1, 1.0, "1"},
        ConversionCase{"false", false, 0, 0, 0.0, "0"}, ConversionCase{"0", false, 0, 0, 0.0, "0"},
        ConversionCase{"-7", true, -7, -7, -7.0, "-7"},
        ConversionCase{"2147483647", true, 2147483647, 2147483647, 2147483647.0, "2147483647"},
        ConversionCase{"-2147483648", true, -2147483648LL, INT32_MIN, -2147483648.0, "-2147483648"},
        ConversionCase{"4294967297", true, 4294967297LL, std::nullopt, 4294967297.0, "4294967297"},
        ConversionCase{"-9223372036854775808", true, INT64_MIN, std::nullopt,
                       -9223372036854775808.0, "-9223372036854775808"},
        ConversionCase{"2.5", true, std::nullopt, std::nullopt, 2.5, "2.500000"},
        ConversionCase{"0.0", false, std::nullopt, std::nullopt, 0.0, "0.000000"},
        ConversionCase{"-0.0000004", true, std::nullopt, std::nullopt, -0.0000004, "-0.000000"},
        ConversionCase{"1e20", true, std::nullopt, std::nullopt, 1e20,
                       "100000000000000000000.000000"},
        ConversionCase{"\"12\"", std::nullopt, 12, 12, 12.0, "12"},
        ConversionCase{"\" +12\"", std::nullopt, 12, 12, 12.0, " +12"},
        ConversionCase{"\"12 \"", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "12 "},
        ConversionCase{"\"12\\u0000\"", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                       std::string("12\0", 3)},
        ConversionCase{"\"\"", std::nullopt, std::nullopt, std::nullopt, std::nullopt, ""},
        ConversionCase{"\"true\"", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "true"},
        ConversionCase{"\"4294967297\"", std::nullopt, 4294967297LL, 1, 4294967297.0, "4294967297"},
        ConversionCase{"\"-1\"", std::nullopt, -1, -1, -1.0, "-1"},
        // Out of the int64 range: a default, not a clamped value.
        ConversionCase{"\"99999999999999999999\"", std::nullopt, std::nullopt, std::nullopt, 1e20,
                       "99999999999999999999"},
        ConversionCase{"\"2.5\"", std::nullopt, std::nullopt, std::nullopt, 2.5, "2.5"},
        ConversionCase{"\"1e400\"", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                       "1e400"},
        // strtod reads hexadecimal texts.
        ConversionCase{"\"0x10\"", std::nullopt, std::nullopt, std::nullopt, 16.0, "0x10"},
        ConversionCase{"null", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt},
        ConversionCase{"[1]", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        ConversionCase{"{\"a\":1}", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt}));

TEST(JsonConversion, WideTextsFollowTheNarrowOnes) {
  EXPECT_EQ(Element("true").AsWString(L"d"), L"1");
  EXPECT_EQ(Element("-5").AsWString(L"d"), L"-5");
  EXPECT_EQ(Element("2.5").AsWString(L"d"), L"2.500000");
  EXPECT_EQ(Element("\"caf\\u00e9 \\ud83d\\ude00\"").AsWString(L"d"), L"caf\u00e9 \U0001F600");
  EXPECT_EQ(Element("null").AsWString(L"d"), L"d");
  EXPECT_EQ(Element("{}").AsWString(L"d"), L"d");
  // A lone surrogate is kept in the document but is no wide text.
  EXPECT_EQ(Element("\"\\ud83d\"").AsWString(L"d"), L"d");
}

TEST(JsonConversion, UndefinedConvertsToEveryDefault) {
  const Value none;
  EXPECT_TRUE(none.IsUndefined());
  EXPECT_TRUE(none.AsBool(true));
  EXPECT_EQ(none.AsInt64(5), 5);
  EXPECT_EQ(none.AsInt32(6), 6);
  EXPECT_EQ(none.AsDouble(7.5), 7.5);
  EXPECT_EQ(none.AsString("x"), "x");
  EXPECT_EQ(none.CStr(), nullptr);
  EXPECT_EQ(none.Size(), 0u);
  EXPECT_TRUE(none.At(0).IsUndefined());
  EXPECT_TRUE(none["a"].IsUndefined());
}

TEST(JsonValue, TypeTestsMatchTheNodes) {
  const Value root = Parse(R"([1, 2.5, "a", true, null, [], {}])", 0, kDocumentDepth);
  struct Row {
    uint32_t index;
    bool b, i, d, s, a, o, n;
  } rows[] = {
      {0, false, true, false, false, false, false, false},
      {1, false, false, true, false, false, false, false},
      {2, false, false, false, true, false, false, false},
      {3, true, false, false, false, false, false, false},
      {4, false, false, false, false, false, false, true},
      {5, false, false, false, false, true, false, false},
      {6, false, false, false, false, false, true, false},
  };
  for (const Row& r : rows) {
    const Value v = root.At(r.index);
    EXPECT_EQ(v.IsBool(), r.b) << r.index;
    EXPECT_EQ(v.IsInt(), r.i) << r.index;
    EXPECT_EQ(v.IsDouble(), r.d) << r.index;
    EXPECT_EQ(v.IsString(), r.s) << r.index;
    EXPECT_EQ(v.IsArray(), r.a) << r.index;
    EXPECT_EQ(v.IsObject(), r.o) << r.index;
    EXPECT_EQ(v.IsNull(), r.n) << r.index;
    EXPECT_FALSE(v.IsUndefined()) << r.index;
  }
}

TEST(JsonValue, AtAndMemberNameOfArraysAndObjects) {
  const Value root = Parse(R"({"first":[10,20],"second":"s"})", 0, kDocumentDepth);
  const Value list = root.At(0);
  EXPECT_EQ(Describe(list), "[10,20]");
  EXPECT_EQ(root.At(1).AsString(""), "s");
  EXPECT_TRUE(root.At(2).IsUndefined());
  EXPECT_EQ(root.At(2).GetDocument(), root.GetDocument()) << "same document, no node";
  EXPECT_EQ(list.At(1).AsInt64(0), 20);
  EXPECT_TRUE(list.At(2).IsUndefined());
  EXPECT_TRUE(list.At(0).At(0).IsUndefined()) << "At of a scalar";

  const Value key = root.MemberName(1);
  EXPECT_TRUE(key.IsString());
  EXPECT_FALSE(key.IsUndefined());
  EXPECT_STREQ(key.CStr(), "second");
  EXPECT_EQ(root[key].AsString(""), "s");

  const Value number = list.MemberName(1);
  EXPECT_TRUE(number.IsInt());
  EXPECT_FALSE(number.IsUndefined());
  EXPECT_EQ(number.AsInt64(-1), 1);
  EXPECT_EQ(number.AsString(""), "1");
  EXPECT_EQ(number.Size(), 0u);
  EXPECT_FALSE(number.IsArray());

  EXPECT_TRUE(root.MemberName(2).IsUndefined());
  EXPECT_TRUE(list.MemberName(2).IsUndefined());
  EXPECT_TRUE(list.At(0).MemberName(0).IsUndefined());
}

TEST(JsonValue, KeysComeFromLiteralsOrStringNodes) {
  const Value root = Parse(R"(["b", {"b": 5, "12": 6, "": 7}])", 0, kDocumentDepth);
  const Value object = root.At(1);
  EXPECT_EQ(object[root.At(0)].AsInt64(0), 5) << "a string node as the key";
  EXPECT_EQ(object[Value::FromKey("b")].AsInt64(0), 5);
  EXPECT_EQ(object[Value::FromString("12")].AsInt64(0), 6);
  EXPECT_EQ(object[""].AsInt64(0), 7);
  EXPECT_TRUE(object["B"].IsUndefined()) << "keys compare exactly";
  EXPECT_TRUE(object[root.At(1)].IsUndefined()) << "an object is no key";
  EXPECT_TRUE(object[object.MemberName(0)].IsInt());
  EXPECT_TRUE(object[root.MemberName(0)].IsUndefined()) << "a literal integer is no key";
  EXPECT_TRUE(root["b"].IsUndefined()) << "lookup in an array";

  const Value literal = Value::FromString("42");
  EXPECT_TRUE(literal.IsString());
  EXPECT_FALSE(literal.IsUndefined());
  EXPECT_EQ(literal.AsInt64(0), 42);
  EXPECT_EQ(literal.AsDouble(0), 42.0);
  EXPECT_EQ(literal.AsString(""), "42");
  EXPECT_TRUE(Value::FromKey(nullptr).IsString());
  EXPECT_STREQ(Value::FromKey(nullptr).CStr(), "");
}

TEST(JsonIterator, WalksChildrenInDocumentOrderWithKeys) {
  const Value root = Parse(R"({"z":1,"a":[true,"x"],"z":null})", 0, kDocumentDepth);
  std::vector<std::string> seen;
  for (ValueIterator it(root); it != ValueIterator(); ++it) {
    seen.push_back(std::string(it.Key().View()) + "=" + Describe(*it));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"z=1", "a=[true,\"x\"]", "z=null"}));

  seen.clear();
  for (ValueIterator it(root["a"]); it != ValueIterator(); ++it) {
    seen.push_back(Describe(*it) + "|" + std::string(it.Key().View()));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"true|", "\"x\"|"}));

  for (const char* empty : {"[]", "{}", "1", "\"s\"", "null"}) {
    EXPECT_TRUE(ValueIterator(Parse(empty, 0, kDocumentDepth)) == ValueIterator()) << empty;
  }
  EXPECT_TRUE(ValueIterator(Value()) == ValueIterator());

  ValueIterator last(Parse("[1]", 0, kDocumentDepth));
  EXPECT_TRUE(++last == ValueIterator());
  EXPECT_TRUE(++last == ValueIterator()) << "stepping past the end stays at the end";
}

TEST(JsonString, ConvertsBetweenNarrowAndWide) {
  const String narrow("caf\xc3\xa9!", 5);
  EXPECT_FALSE(narrow.IsWide());
  EXPECT_EQ(narrow.Length(), 5u);
  EXPECT_STREQ(narrow.CStr(), "caf\xc3\xa9");
  EXPECT_STREQ(narrow.WStr(), L"caf\u00e9");

  const String wide(L"\u00e9t\u00e9\U0001F600");
  EXPECT_TRUE(wide.IsWide());
  EXPECT_EQ(wide.Length(), 4u) << "characters of the wide form";
  EXPECT_STREQ(wide.CStr(), "\xc3\xa9t\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(wide.View(), "\xc3\xa9t\xc3\xa9\xf0\x9f\x98\x80");

  EXPECT_STREQ(String(L"abc", 2).CStr(), "ab");
  EXPECT_STREQ(String(static_cast<const char*>(nullptr)).CStr(), "");
  EXPECT_STREQ(String().WStr(), L"");
  EXPECT_STREQ(String("\xff").WStr(), L"") << "not UTF-8";
  EXPECT_EQ(String(std::string("a\0b", 3)).View(), std::string_view("a\0b", 3));
}

TEST(JsonString, CopiesShareTheConvertedForm) {
  const String wide(std::wstring(L"x\u00e9"));
  const char* converted = wide.CStr();
  const String copy = wide;
  EXPECT_EQ(copy.CStr(), converted);
  String moved = String(copy);
  EXPECT_EQ(moved.CStr(), converted);
  moved = String("other");
  EXPECT_STREQ(moved.CStr(), "other");
  EXPECT_STREQ(copy.WStr(), L"x\u00e9");
}

TEST(JsonString, ConcurrentFirstConversionsAgree) {
  const String wide(L"\u00fcber");
  std::vector<const char*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = wide.CStr(); });
  }
  for (std::thread& t : threads) t.join();
  for (const char* text : seen) EXPECT_EQ(text, seen[0]);
  EXPECT_STREQ(seen[0],
               "\xc3\xbc"
               "ber");
}

}  // namespace
}  // namespace upd::test
