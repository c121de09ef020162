#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "json_test_util.h"
#include "repository/json/json_parser.h"
#include "repository/json/json_writer.h"
#include "repository/small_stack.h"

namespace upd::test {
namespace {

using wexajson::kDocumentDepth;
using wexajson::Parse;
using wexajson::Value;

TEST(JsonParseTable, EveryTextParsesAsListed) {
  const std::vector<ParseCase> cases = LoadParseCases();
  ASSERT_FALSE(cases.empty());
  for (const ParseCase& c : cases) {
    const Value root = Parse(c.text, kDocumentDepth);
    EXPECT_EQ(root.IsUndefined() ? "refused" : Describe(root), c.expected)
        << "line " << c.line << " (" << c.group << "): " << c.text;
    // The NUL-terminated form reads up to the first NUL; no listed text
    // changes its meaning there.
    const Value terminated = Parse(c.text.c_str(), 0, kDocumentDepth);
    EXPECT_EQ(terminated.IsUndefined() ? "refused" : Describe(terminated), c.expected)
        << "line " << c.line << " as a NUL-terminated text";
  }
}

TEST(JsonParse, EmptyAndMissingTextsAreRefused) {
  EXPECT_TRUE(Parse("", 0, kDocumentDepth).IsUndefined());
  EXPECT_TRUE(Parse(std::string_view(), kDocumentDepth).IsUndefined());
  EXPECT_TRUE(Parse(nullptr, 0, kDocumentDepth).IsUndefined());
}

TEST(JsonParse, ReadsNoFurtherThanTheGivenLength) {
  const char text[] = "[1,2]garbage";
  EXPECT_EQ(Describe(Parse(text, 5, kDocumentDepth)), "[1,2]");
  EXPECT_TRUE(Parse(text, 4, kDocumentDepth).IsUndefined());
  // A string cut by the length, not by a quotation mark.
  EXPECT_TRUE(Parse("\"abc\"", 4, kDocumentDepth).IsUndefined());
  EXPECT_TRUE(Parse("tru", 3, kDocumentDepth).IsUndefined());
  EXPECT_TRUE(Parse("-", 1, kDocumentDepth).IsUndefined());
}

// Little-endian image bytes, written the way the tests spell them.
class Bytes {
 public:
  Bytes& u8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  Bytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes& i64(int64_t v) {
    for (int i = 0; i < 8; ++i)
      bytes_.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return *this;
  }
  Bytes& f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return i64(static_cast<int64_t>(bits));
  }
  Bytes& text(std::string_view t) {
    bytes_.insert(bytes_.end(), t.begin(), t.end());
    return *this;
  }
  const std::vector<uint8_t>& get() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> ImageOf(const Value& value) {
  const auto image = value.GetDocument()->Image();
  return {image.begin(), image.end()};
}

TEST(JsonImage, ChildrenPrecedeTheirContainerBetweenHeaderAndEndRecord) {
  const Value root = Parse(R"([1, 2.5, "a", true, null])", 0, kDocumentDepth);
  Bytes expected;
  expected.u32(4).u32(36);                                       // header: root at 36
  expected.u8(1).i64(1);                                         // 8: integer
  expected.u8(2).f64(2.5);                                       // 17: double
  expected.u8(3).u32(1).text("a").u8(0);                         // 26: string
  expected.u8(0).u8(1);                                          // 33: bool
  expected.u8(6);                                                // 35: null
  expected.u8(4).u32(5).u32(8).u32(17).u32(26).u32(33).u32(35);  // 36: array
  expected.u8(0xFF).u32(61);                                     // end record
  EXPECT_EQ(ImageOf(root), expected.get());
  EXPECT_EQ(root.Offset(), 36u);
  EXPECT_EQ(root.At(4).Offset(), 35u);
}

TEST(JsonImage, ObjectPairsKeepDuplicatesInDocumentOrder) {
  const Value root = Parse(R"({"k":1,"k":true})", 0, kDocumentDepth);
  Bytes expected;
  expected.u32(4).u32(33);
  expected.u8(3).u32(1).text("k").u8(0);                 // 8: key
  expected.u8(1).i64(1);                                 // 15
  expected.u8(3).u32(1).text("k").u8(0);                 // 24: the same key again
  expected.u8(0).u8(1);                                  // 31
  expected.u8(5).u32(2).u32(8).u32(15).u32(24).u32(31);  // 33: object
  expected.u8(0xFF).u32(54);
  EXPECT_EQ(ImageOf(root), expected.get());
}

// Keys of varied lengths in an order unlike the index order.
std::string KeyName(uint32_t i) { return "k" + std::to_string((i * 7919u) % 100003u); }

std::string ObjectText(uint32_t members, const std::function<std::string(uint32_t)>& key) {
  std::string text = "{";
  for (uint32_t i = 0; i < members; ++i) {
    if (i != 0) text += ",";
    text += "\"" + key(i) + "\":" + std::to_string(i);
  }
  return text + "}";
}

uint32_t IndexEntry(const std::vector<uint8_t>& image, size_t at, uint32_t width) {
  uint32_t v = 0;
  for (uint32_t b = 0; b < width; ++b) v |= static_cast<uint32_t>(image[at + b]) << (8 * b);
  return v;
}

std::string_view KeyOfMember(const std::vector<uint8_t>& image, uint32_t object, uint32_t member) {
  const uint32_t key = IndexEntry(image, object + 5 + 8 * member, 4);
  return {reinterpret_cast<const char*>(image.data() + key + 5), IndexEntry(image, key + 1, 4)};
}

struct IndexCase {
  uint32_t members;
  uint32_t width;  // 0: no index
};

class JsonMemberIndexTest : public testing::TestWithParam<IndexCase> {};

TEST_P(JsonMemberIndexTest, IndexHasTheWidthAndOrderAndFindsEveryKey) {
  const IndexCase c = GetParam();
  const Value root = Parse(ObjectText(c.members, KeyName), kDocumentDepth);
  ASSERT_TRUE(root.IsObject());
  ASSERT_EQ(root.Size(), c.members);
  const std::vector<uint8_t> image = ImageOf(root);
  const size_t index = root.Offset() + 5 + size_t{8} * c.members;
  ASSERT_EQ(image.size(), index + size_t{c.width} * c.members + 5) << "index width";
  if (c.width != 0) {
    std::vector<bool> seen(c.members);
    for (uint32_t slot = 0; slot < c.members; ++slot) {
      const uint32_t member = IndexEntry(image, index + size_t{c.width} * slot, c.width);
      ASSERT_LT(member, c.members);
      EXPECT_FALSE(seen[member]) << "member " << member << " twice in the index";
      seen[member] = true;
      if (slot == 0) continue;
      const uint32_t before = IndexEntry(image, index + size_t{c.width} * (slot - 1), c.width);
      const std::string_view a = KeyOfMember(image, root.Offset(), before);
      const std::string_view b = KeyOfMember(image, root.Offset(), member);
      EXPECT_TRUE(a.size() < b.size() || (a.size() == b.size() && a < b)) << a << " before " << b;
    }
  }
  for (uint32_t i = 0; i < c.members; ++i) {
    const Value found = root[KeyName(i)];
    ASSERT_TRUE(found.IsInt()) << KeyName(i);
    ASSERT_EQ(found.AsInt64(-1), i);
  }
  for (const char* absent : {"", "k", "k100003", "k00", "zz", "k1 "}) {
    EXPECT_TRUE(root[absent].IsUndefined()) << absent;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, JsonMemberIndexTest,
                         testing::Values(IndexCase{1, 0}, IndexCase{32, 0}, IndexCase{33, 1},
                                         IndexCase{256, 1}, IndexCase{257, 2}, IndexCase{65536, 2},
                                         IndexCase{65537, 4}),
                         [](const testing::TestParamInfo<IndexCase>& info) {
                           return std::to_string(info.param.members) + "_members";
                         });

class JsonDuplicateKeyTest : public testing::TestWithParam<uint32_t> {};

// Three members share the key "dup"; the first in document order wins,
// whether the object is scanned or searched through its index.
TEST_P(JsonDuplicateKeyTest, LookupGivesTheFirstOfEqualKeys) {
  const uint32_t members = GetParam();
  const uint32_t first = members / 3;
  const Value root =
      Parse(ObjectText(members,
                       [&](uint32_t i) {
                         if (i == first || i == 2 * members / 3 || i == members - 1) {
                           return std::string("dup");
                         }
                         return KeyName(i);
                       }),
            kDocumentDepth);
  ASSERT_EQ(root.Size(), members);
  EXPECT_EQ(root["dup"].AsInt64(-1), first);
  EXPECT_EQ(root[Value::FromKey("dup")].AsInt64(-1), first);
}

INSTANTIATE_TEST_SUITE_P(Sizes, JsonDuplicateKeyTest,
                         testing::Values(4u, 32u, 33u, 256u, 257u, 65537u));

std::string Nested(size_t levels, const std::string& open, const std::string& close,
                   const std::string& inner = "1") {
  std::string text;
  text.reserve(levels * (open.size() + close.size()) + inner.size());
  for (size_t i = 0; i < levels; ++i) text += open;
  text += inner;
  for (size_t i = 0; i < levels; ++i) text += close;
  return text;
}

struct DepthCase {
  const char* what;
  std::string text;
  uint32_t depth;
  bool accepted;
};

class JsonDepthTest : public testing::TestWithParam<DepthCase> {};

TEST_P(JsonDepthTest, ContainersNestUpToTheDepth) {
  const DepthCase& c = GetParam();
  EXPECT_EQ(!Parse(c.text, c.depth).IsUndefined(), c.accepted) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, JsonDepthTest,
    testing::Values(DepthCase{"500 arrays at 500", Nested(500, "[", "]"), 500, true},
                    DepthCase{"501 arrays at 500", Nested(501, "[", "]"), 500, false},
                    DepthCase{"500 objects at 500", Nested(500, "{\"a\":", "}"), 500, true},
                    DepthCase{"501 objects at 500", Nested(501, "{\"a\":", "}"), 500, false},
                    DepthCase{"mixed 500 at 500", Nested(250, "[{\"a\":", "}]"), 500, true},
                    DepthCase{"empty innermost 501 at 500", Nested(500, "[", "]", "[]"), 500,
                              false},
                    DepthCase{"one level at 1", "[1]", 1, true},
                    DepthCase{"two levels at 1", "[[1]]", 1, false},
                    DepthCase{"scalar at 0", "1", 0, true},
                    DepthCase{"empty array at 0", "[]", 0, false},
                    DepthCase{"empty object at 0", "{}", 0, false},
                    DepthCase{"siblings do not add up", "[[1],[2],[[3]]]", 3, true}),
    [](const testing::TestParamInfo<DepthCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p != 0; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(JsonDeepNesting, HundredThousandBracketsOnASmallStack) {
  const std::string open_only(100000, '[');
  const std::string closed = Nested(100000, "[", "]", "");
  const std::string objects = Nested(100000, "{\"a\":", "}", "{}");
  bool refused_at_500 = false;
  bool refused_unclosed = false;
  std::string cut;
  std::string whole;
  bool objects_parse = false;
  RunOnSmallStack([&] {
    refused_at_500 = Parse(open_only, kDocumentDepth).IsUndefined();
    refused_unclosed = Parse(open_only, 1000000).IsUndefined();
    const Value deep = Parse(closed, 1000000);
    cut = wexajson::ToText(deep);
    wexajson::Writer writer;
    (void)wexajson::Writer::WriteValue(deep, writer, std::nullopt, 1000000, 0);
    whole = writer.Text();
    objects_parse = Parse(objects, 1000000).IsObject();
  });
  EXPECT_TRUE(refused_at_500);
  EXPECT_TRUE(refused_unclosed);
  EXPECT_EQ(cut, "[[]]");
  EXPECT_EQ(whole, closed);
  EXPECT_TRUE(objects_parse);
}

TEST(JsonHandles, OutliveTheParseAndTheRootHandle) {
  Value member;
  Value name;
  wexajson::String key;
  {
    const Value root = Parse(R"({"name":"value","list":[1,2]})", 0, kDocumentDepth);
    member = root["list"];
    name = root.MemberName(0);
    key = wexajson::ValueIterator(root).Key();
  }
  EXPECT_EQ(Describe(member), "[1,2]");
  EXPECT_STREQ(name.CStr(), "name");
  EXPECT_EQ(key.View(), "name");
}

}  // namespace
}  // namespace upd::test
