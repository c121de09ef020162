#include "platform/store/xml_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/store/xml_document.h"
#include "xml_test_util.h"

namespace upd::test {
namespace {

struct LoadCase {
  const char* what;
  std::string text;
  bool accepted;
};

class XmlLoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(XmlLoadTest, AcceptsOrRefuses) {
  const LoadCase& c = GetParam();
  XmlDocumentPtr document = MemStoreCreate(0);
  const uint32_t rc =
      MemStoreLoadText(document.get(), c.text.data(), c.text.size(), 1, kXmlDefaultDepth);
  EXPECT_EQ(rc, c.accepted ? kXmlOk : kXmlFailure) << c.what;
  EXPECT_EQ(MemStoreGetRoot(document.get()) != nullptr, c.accepted)
      << "a refused load leaves no root";
}

const std::string k49(49, 'N');
const std::string k50(50, 'N');

INSTANTIATE_TEST_SUITE_P(
    Documents, XmlLoadTest,
    testing::Values(
        LoadCase{"bare root", "<A/>", true},
        LoadCase{"declaration", "<?xml version=\"1.0\"?>\n<A/>", true},
        LoadCase{"declaration in any case, other encoding",
                 "<?XML VERSION=\"1.0\" ENCODING=\"ISO-8859-1\" standalone=\"yes\" ?>\r\n<A/>",
                 true},
        LoadCase{"comment after the declaration", "<?xml version=\"1.0\"?><!-- c --> <A/>", true},
        LoadCase{"comments and text inside", "<A><!-- a -- b -->t<B/><!----></A>", true},
        LoadCase{"end tags in the wrong order", "<A><B></A></B>", true},
        LoadCase{"anything after the root", "<A/>  <<junk & more", true},
        LoadCase{"blanks around the markup", "<A\tx=\"1\"\n y=\"2\" / >", true},
        LoadCase{"blank before an attribute's =", "<A x =\"1\"/>", false},
        LoadCase{"49-character names", "<" + k49 + " " + k49 + "=\"v\"/>", true},
        LoadCase{"name characters", "<a:b-c_9 X:y=\"\"></a:b-c_9>", true},
        LoadCase{"attribute value with raw markup", "<A v=\"<b>'\"/>", true},
        LoadCase{"byte-order mark", "\xEF\xBB\xBF<A/>", false},
        LoadCase{"document type declaration", "<!DOCTYPE A><A/>", false},
        LoadCase{"processing instruction", "<?php echo 1 ?><A/>", false},
        LoadCase{"stylesheet instruction", "<?xml-stylesheet href=\"a\"?><A/>", false},
        LoadCase{"version 1.1", "<?xml version=\"1.1\"?><A/>", false},
        LoadCase{"two spaces after xml", "<?xml  version=\"1.0\"?><A/>", false},
        LoadCase{"declaration without version", "<?xml encoding=\"utf-8\"?><A/>", false},
        LoadCase{"50-character element name", "<" + k50 + "/>", false},
        LoadCase{"50-character attribute name", "<A " + k50 + "=\"v\"/>", false},
        LoadCase{"single-quoted attribute", "<A x='1'/>", false},
        LoadCase{"unquoted attribute", "<A x=1/>", false},
        LoadCase{"attribute without value", "<A x/>", false},
        LoadCase{"unterminated attribute", "<A x=\"1/>", false},
        LoadCase{"unterminated element", "<A><B></B>", false},
        LoadCase{"unterminated start tag", "<A x=\"1\"", false},
        LoadCase{"text never followed by markup", "<A>text", false},
        LoadCase{"unterminated comment", "<A><!-- c </A>", false},
        LoadCase{"comment before the root without declaration", "<!-- c --><A/>", false},
        LoadCase{"text before the root", "hello<A/>", false},
        LoadCase{"empty element name", "<></>", false},
        LoadCase{"name with a non-ASCII byte", "<A\xC3\xA9/>", false},
        LoadCase{"empty text", "", false},
        LoadCase{"only a declaration", "<?xml version=\"1.0\"?>", false}),
    [](const testing::TestParamInfo<LoadCase>& info) {
      std::string name;
      for (const char* c = info.param.what; *c != 0; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      }
      return name;
    });

TEST(XmlDepthTest, BudgetCountsEveryLevelAndTheDeclaration) {
  const struct {
    size_t levels;
    bool declaration;
    bool accepted;
  } cases[] = {{499, false, true}, {500, false, false}, {498, true, true}, {499, true, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(ParseXml(Nested(c.levels, c.declaration)) != nullptr, c.accepted)
        << c.levels << " levels, declaration " << c.declaration;
  }
}

TEST(XmlDepthTest, BudgetOfTheCallerIsHonoured) {
  EXPECT_NE(ParseXml(Nested(9), 10), nullptr);
  EXPECT_EQ(ParseXml(Nested(10), 10), nullptr);
  EXPECT_EQ(ParseXml("<A/>", 0), nullptr);
  EXPECT_NE(ParseXml("<A/>", 2), nullptr);
  EXPECT_EQ(ParseXml("<A/>", 1), nullptr) << "the root's content needs a unit of its own";
}

TEST(XmlDepthTest, HundredThousandLevelsAreRefusedCleanly) {
  EXPECT_EQ(ParseXml(Nested(100000)), nullptr);
  EXPECT_EQ(ParseXml(Nested(100000, true)), nullptr);
}

TEST(XmlDepthTest, DeepTreesWithinALargeBudgetCostNoStack) {
  // Parsing, writing and releasing walk the tree without recursion.
  XmlDocumentPtr deep = ParseXml(Nested(100000), 200000);
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(MemStoreRemoveNode(deep.get(), MemStoreGetRoot(deep.get())), kXmlOk);

  // Output grows with the square of the depth (one space of indent a level).
  const size_t levels = 5000;
  XmlDocumentPtr document = ParseXml(Nested(levels), 10000);
  ASSERT_NE(document, nullptr);
  std::string out;
  ASSERT_TRUE(MemStoreSerialize(document.get(), MemStoreGetRoot(document.get()), &out));
  EXPECT_EQ(out.size(), WithDeclaration("").size() + levels * (levels - 1) + 9 * levels);
  EXPECT_EQ(out.substr(out.size() - 12), "\n </E>\n</E>\n");
}

TEST(XmlParserTest, LongLineBreakRunsBeforeATagEndAreReadOnce) {
  // Line breaks inside markup are skipped; a run of a million of them before
  // the blank and '>' that end "/" or "?" must be passed once, not rescanned
  // for every character (that would take hours).
  const std::string breaks(1000000, '\n');
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty element", "<A/" + breaks + " >"},
      {"declaration", "<?xml version=\"1.0\"?" + breaks + " ><A/>"},
      {"mixed line ends", "<A x=\"1\"/" + std::string(500000, '\r') + breaks + " \t >"},
  };
  for (const auto& c : cases) {
    XmlDocumentPtr document = ParseXml(c.text);
    ASSERT_NE(document, nullptr) << c.what;
    EXPECT_EQ(MemStoreNodeName(MemStoreGetRoot(document.get())), "A") << c.what;
  }
}

TEST(XmlParserTest, ElementsAttributesAndTextShareOneChildListInOrder) {
  std::string text = "<R a=\"1\"><B/>text<C b=\"2\"></C></R>";
  XmlDocumentPtr document = ParseXml(text);
  ASSERT_NE(document, nullptr);
  text.assign(text.size(), 'X');  // copied loads keep nothing of the caller's text
  const _XML_NODE* root = MemStoreGetRoot(document.get());
  std::vector<std::pair<uint32_t, std::string>> seen;
  for (const _XML_NODE* n = MemStoreFirstChild(root); n != nullptr; n = MemStoreNextSibling(n)) {
    seen.emplace_back(n->kind, MemStoreNodeName(n));
    EXPECT_EQ(n->parent, root);
    EXPECT_EQ(n->source, kXmlSourcePool);
  }
  const std::vector<std::pair<uint32_t, std::string>> expected = {
      {kXmlAttribute, "a"}, {kXmlElement, "B"}, {kXmlText, "__content__"}, {kXmlElement, "C"}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(root->parent, &document->pseudo);
  EXPECT_EQ(MemStoreNodeName(MemStoreFindChild(root, L"c", nullptr, false)), "C");
  EXPECT_EQ(Serialized(document.get()),
            WithDeclaration("<R a=\"1\">text <B>\n </B>\n <C b=\"2\" />\n</R>\n"));
}

TEST(XmlParserTest, DuplicatesMergeIntoTheFirstNodeWithTheLastValue) {
  XmlDocumentPtr document = ParseXml("<A x=\"1\" y=\"0\" X=\"2\">one<B/>two<C/>  </A>");
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(Serialized(document.get()),
            WithDeclaration("<A x=\"2\" y=\"0\">two <B>\n </B>\n <C>\n </C>\n</A>\n"));
}

TEST(XmlParserTest, ManyAttributesStillMergeDuplicates) {
  std::string text = "<A";
  for (int i = 0; i < 40; ++i) text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  text += " A7=\"last\" a39=\"end\"/>";
  XmlDocumentPtr document = ParseXml(text);
  ASSERT_NE(document, nullptr);
  const _XML_NODE* root = MemStoreGetRoot(document.get());
  EXPECT_EQ(ChildNames(root).size(), 40u);
  EXPECT_EQ(AttributeOf(document.get(), root, L"a7"), L"last");
  EXPECT_EQ(AttributeOf(document.get(), root, L"a39"), L"end");
}

TEST(XmlParserTest, AttributesInsideContentJoinTheOpenElement) {
  // An attribute construct after a start tag's '>' belongs to the element
  // then open; duplicates merge with the start tag's, also once the element
  // has enough attributes for an index and after children have come and gone.
  std::string many;
  for (int i = 0; i < 10; ++i) many += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  const struct {
    std::string text;
    std::string written;
  } cases[] = {
      {"<A><B/><x=\"1\">text</A>", "<A x=\"1\">text <B>\n </B>\n</A>\n"},
      {"<A" + many + "><B c=\"1\"/><A3=\"z\">t<a9=\"w\"></A>",
       "<A a0=\"0\" a1=\"1\" a2=\"2\" a3=\"z\" a4=\"4\" a5=\"5\" a6=\"6\" a7=\"7\" a8=\"8\" "
       "a9=\"w\">t <B c=\"1\" />\n</A>\n"},
      {"<A" + many + "><B" + many + "/><a0=\"x\"><B0=\"y\"></A>",
       "<A a0=\"x\" a1=\"1\" a2=\"2\" a3=\"3\" a4=\"4\" a5=\"5\" a6=\"6\" a7=\"7\" a8=\"8\" "
       "a9=\"9\" B0=\"y\">\n <B" +
           many + " />\n</A>\n"},
  };
  for (const auto& c : cases) {
    XmlDocumentPtr document = ParseXml(c.text);
    ASSERT_NE(document, nullptr) << c.text;
    EXPECT_EQ(Serialized(document.get()), WithDeclaration(c.written)) << c.text;
  }
}

TEST(XmlParserTest, NamesSplitByLineBreaksAreJoined) {
  // Markup skips line breaks, inside names too; such a name cannot refer into
  // the text and is kept by the document.
  for (const uint32_t copy : {1u, 0u}) {
    std::string text = "<R\r\nOOT x\n1=\"v\"><C\nH\r/><CH/></R\nOOT>";
    XmlDocumentPtr document = MemStoreCreate(0);
    ASSERT_EQ(MemStoreLoadText(document.get(), text.data(), text.size(), copy, 500), kXmlOk);
    const _XML_NODE* root = MemStoreGetRoot(document.get());
    EXPECT_EQ(MemStoreNodeName(root), "ROOT");
    EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"x1", "CH", "CH"}));
    EXPECT_EQ(Serialized(document.get()),
              WithDeclaration("<ROOT x1=\"v\">\n <CH>\n </CH>\n <CH>\n </CH>\n</ROOT>\n"));
  }
}

TEST(XmlParserTest, NodeStorageStaysProportionalToTheText) {
  // Empty elements are the densest input: one node per four bytes.
  const size_t count = 200000;
  std::string text = "<R>";
  for (size_t i = 0; i < count; ++i) text += "<a/>";
  text += "</R>";
  XmlDocumentPtr document = ParseXml(text);
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(ChildNames(MemStoreGetRoot(document.get())).size(), count);
  EXPECT_LE(document->nodes.TotalChunkBytes(), 12 * text.size());
}

TEST(XmlParserTest, CopyFlagZeroReadsTheCallersTextInPlace) {
  const std::string text = "<A v=\"a&amp;b\">t</A>";
  XmlDocumentPtr document = MemStoreCreate(0);
  ASSERT_EQ(MemStoreLoadText(document.get(), text.c_str(), kXmlTextToNul, 0, 500), kXmlOk);
  const _XML_NODE* attribute = MemStoreFirstChild(MemStoreGetRoot(document.get()));
  EXPECT_EQ(attribute->source, kXmlSourceText);
  EXPECT_EQ(text.substr(attribute->value_begin, attribute->value_length), "a&amp;b");
  EXPECT_EQ(AttributeOf(document.get(), MemStoreGetRoot(document.get()), L"v"), L"a&b");
}

TEST(XmlParserTest, LengthStopsTheTextAndADocumentWithARootIsRefused) {
  const std::string text = "<A/><B/>";
  XmlDocumentPtr document = MemStoreCreate(0);
  ASSERT_EQ(MemStoreLoadText(document.get(), text.data(), 3, 1, 500), kXmlFailure);
  ASSERT_EQ(MemStoreLoadText(document.get(), text.data(), 4, 1, 500), kXmlOk);
  EXPECT_EQ(MemStoreLoadText(document.get(), text.data(), 4, 1, 500), kXmlFailure);
  EXPECT_EQ(MemStoreNodeName(MemStoreGetRoot(document.get())), "A");
}

// Raw attribute value -> decoded value (null: reading fails).
struct ValueCase {
  const char* raw;
  const wchar_t* decoded;
};

TEST(XmlValueTest, ReferencesUtf8AndLineBreaksDecode) {
  const ValueCase cases[] = {
      {"a&lt;b&GT;c", L"a<b>c"},
      {"&amp;&apos;&quot;&Amp;", L"&'\"&"},
      {"&nbsp;&copy;&reg;", L" \u00A9\u00AE"},
      {"&#65;&#x42;&#X43;&#x1f600;", L"ABC\U0001F600"},
      {"&#4294967361;", L"A"},  // wraps at 32 bits
      {"&#xD800;", L"\xD800"},  // surrogates are taken as decoded
      {"a\r\nb\n", L"ab"},
      {"a\tb", L"a b"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", L"\u00E9\u20AC\U0001F600"},
      {"\xF8\x88\x80\x80\x80", L"\x200000"},  // five-byte form
      {"\xC0\xAF", L"/"},                     // overlong forms decode
      {"x\x80y\xFEz\xFF", L"x y z "},
      {"&unknown;", nullptr},
      {"&abcdefghi;", nullptr},
      {"&#12a;", nullptr},
      {"&#x;", L"\0"},
      {"&lt", nullptr},
      {"\xC3", nullptr},
      {"\xC3"
       "A",
       nullptr},
      {"\xE2\x82", nullptr},
  };
  for (const ValueCase& c : cases) {
    XmlDocumentPtr document = ParseXml(std::string("<A v=\"") + c.raw + "\"/>");
    ASSERT_NE(document, nullptr) << c.raw << ": values are not decoded while loading";
    const _XML_NODE* root = MemStoreGetRoot(document.get());
    size_t size = 0;
    const uint32_t rc = MemStoreGetAttribute(document.get(), root, L"v", nullptr, &size);
    if (c.decoded == nullptr) {
      EXPECT_EQ(rc, kXmlFailure) << c.raw;
      EXPECT_EQ(Serialized(document.get()), "<failed>") << c.raw;
      continue;
    }
    const std::wstring expected(c.decoded, c.decoded[0] == 0 ? 1 : std::wcslen(c.decoded));
    EXPECT_EQ(AttributeOf(document.get(), root, L"v"), expected) << c.raw;
  }
}

TEST(XmlValueTest, TextRangesReadWithoutTheirLineBreaks) {
  XmlDocumentPtr document = ParseXml("<A>\r\n  one\ttwo\r\n</A>");
  ASSERT_NE(document, nullptr);
  std::wstring text;
  ASSERT_TRUE(MemStoreDecodeNode(document.get(), MemStoreFirstText(MemStoreGetRoot(document.get())),
                                 &text));
  EXPECT_EQ(text, L"  one two");
}

}  // namespace
}  // namespace upd::test
