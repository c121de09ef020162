#include "platform/store/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml_test_util.h"

namespace upd::test {
namespace {

TEST(XmlNameTest, OnlyNamesTheParserReadsBackAreAccepted) {
  const struct {
    std::wstring name;
    bool valid;
  } cases[] = {
      {L"A", true},       {std::wstring(49, L'n'), true},
      {L"a:b-c_9", true}, {L"9", true},
      {L"", false},       {std::wstring(50, L'n'), false},
      {L"a b", false},    {L"a<b", false},
      {L"a=b", false},    {L"\u00E9", false},
      {L"a\"", false},    {L"__content__", true},
  };
  for (const auto& c : cases) {
    XmlDocumentPtr document = MemStoreCreate(0);
    _XML_NODE* root = MemStoreCreateRoot(document.get(), c.name.c_str());
    EXPECT_EQ(root != nullptr, c.valid) << "root";
    _XML_NODE* parent = root != nullptr ? root : MemStoreCreateRoot(document.get(), L"R");
    EXPECT_EQ(MemStoreAddChild(document.get(), parent, c.name.c_str()) != nullptr, c.valid);
    EXPECT_EQ(MemStoreSetAttribute(document.get(), parent, c.name.c_str(), L"v") == kXmlOk,
              c.valid);
    if (!c.valid) continue;
    // Whatever was accepted loads back.
    EXPECT_NE(ParseXml(Serialized(document.get())), nullptr);
  }
}

TEST(XmlDocumentTest, OneRootOnly) {
  XmlDocumentPtr document = MemStoreCreate(0);
  EXPECT_EQ(MemStoreGetRoot(document.get()), nullptr);
  _XML_NODE* root = MemStoreCreateRoot(document.get(), L"R");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(MemStoreCreateRoot(document.get(), L"S"), nullptr);
  EXPECT_EQ(MemStoreGetRoot(document.get()), root);
  EXPECT_EQ(MemStoreAddChild(document.get(), root->parent, L"S"), nullptr);
  EXPECT_EQ(MemStoreSetAttribute(document.get(), root->parent, L"a", L"1"), kXmlFailure);
  EXPECT_EQ(ChildNames(root->parent), std::vector<std::string>{"R"}) << "the root stays alone";
  size_t size = 0;
  EXPECT_EQ(MemStoreReadValue(document.get(), root, nullptr, &size), kXmlOk);
  EXPECT_EQ(size, 1u) << "an element's own value is empty";
}

TEST(XmlDocumentTest, SetAttributeReplacesInPlaceOrAppendsLast) {
  XmlDocumentPtr document = ParseXml("<R A=\"1\" b=\"2\"><C/></R>");
  ASSERT_NE(document, nullptr);
  _XML_NODE* root = MemStoreGetRoot(document.get());
  ASSERT_EQ(MemStoreSetAttribute(document.get(), root, L"a", L"one"), kXmlOk);
  ASSERT_EQ(MemStoreSetAttribute(document.get(), root, L"d", L"4"), kXmlOk);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"A", "b", "C", "d"}));
  EXPECT_EQ(AttributeOf(document.get(), root, L"A"), L"one");
  EXPECT_EQ(Serialized(document.get()),
            WithDeclaration("<R A=\"one\" b=\"2\" d=\"4\">\n <C>\n </C>\n</R>\n"));
}

TEST(XmlDocumentTest, GetAttributeMeasuresAndRefusesShortBuffers) {
  XmlDocumentPtr document = ParseXml("<R v=\"a&amp;b\"/>");
  ASSERT_NE(document, nullptr);
  const _XML_NODE* root = MemStoreGetRoot(document.get());
  size_t size = 0;
  ASSERT_EQ(MemStoreGetAttribute(document.get(), root, L"V", nullptr, &size), kXmlOk);
  EXPECT_EQ(size, 4u);
  wchar_t buffer[4];
  size = 3;
  EXPECT_EQ(MemStoreGetAttribute(document.get(), root, L"v", buffer, &size), kXmlFailure);
  size = 4;
  ASSERT_EQ(MemStoreGetAttribute(document.get(), root, L"v", buffer, &size), kXmlOk);
  EXPECT_EQ(std::wstring(buffer), L"a&b");
  EXPECT_EQ(MemStoreGetAttribute(document.get(), root, L"w", nullptr, &size), kXmlFailure);
}

TEST(XmlDocumentTest, FindChildWalksMatchesWithACursor) {
  XmlDocumentPtr document =
      ParseXml("<R><a:item n=\"1\"/><other/><ITEM n=\"2\"/><b:Item n=\"3\"/><item n=\"4\"/></R>");
  ASSERT_NE(document, nullptr);
  _XML_NODE* root = MemStoreGetRoot(document.get());
  const auto collect = [&](bool prefix) {
    std::wstring found;
    MemStoreCursor cursor;
    while (_XML_NODE* n = MemStoreFindChild(root, L"item", &cursor, prefix)) {
      found += AttributeOf(document.get(), n, L"n");
    }
    EXPECT_EQ(MemStoreFindChild(root, L"item", &cursor, prefix), nullptr) << "stays exhausted";
    return found;
  };
  EXPECT_EQ(collect(false), L"24");
  EXPECT_EQ(collect(true), L"1234");
  EXPECT_EQ(AttributeOf(document.get(), MemStoreFindChild(root, L"Item", nullptr, false), L"n"),
            L"2");
  EXPECT_EQ(MemStoreFindChild(root, L"n", nullptr, false), nullptr) << "attributes never match";
}

TEST(XmlDocumentTest, RemoveNodeUnlinksItsSubtree) {
  XmlDocumentPtr document = ParseXml("<R><A><X/><Y>t</Y></A><B/><C/></R>");
  ASSERT_NE(document, nullptr);
  _XML_NODE* root = MemStoreGetRoot(document.get());
  ASSERT_EQ(MemStoreRemoveNode(document.get(), MemStoreFindChild(root, L"B", nullptr, false)),
            kXmlOk);
  ASSERT_EQ(MemStoreRemoveNode(document.get(), MemStoreFindChild(root, L"C", nullptr, false)),
            kXmlOk);
  ASSERT_NE(MemStoreAddChild(document.get(), root, L"D"), nullptr)
      << "appends after a removed tail";
  ASSERT_EQ(MemStoreRemoveNode(document.get(), MemStoreFindChild(root, L"A", nullptr, false)),
            kXmlOk);
  EXPECT_EQ(Serialized(document.get()), WithDeclaration("<R>\n <D>\n </D>\n</R>\n"));
  ASSERT_EQ(MemStoreRemoveNode(document.get(), root), kXmlOk);
  EXPECT_EQ(MemStoreGetRoot(document.get()), nullptr);
  EXPECT_NE(MemStoreCreateRoot(document.get(), L"New"), nullptr);
}

TEST(XmlDocumentTest, RemovalAtEveryPlaceKeepsTheListWhole) {
  const struct {
    const char* text;
    const wchar_t* removed;
    std::vector<std::string> left;
  } cases[] = {
      {"<R><A/><B/><C/></R>", L"A", {"B", "C"}},
      {"<R><A/><B/><C/></R>", L"B", {"A", "C"}},
      {"<R><A/><B/><C/></R>", L"C", {"A", "B"}},
      {"<R><A/></R>", L"A", {}},
      {"<R x=\"1\"><A/>t</R>", L"A", {"x", "__content__"}},
  };
  for (const auto& c : cases) {
    XmlDocumentPtr document = ParseXml(c.text);
    ASSERT_NE(document, nullptr) << c.text;
    _XML_NODE* root = MemStoreGetRoot(document.get());
    ASSERT_EQ(
        MemStoreRemoveNode(document.get(), MemStoreFindChild(root, c.removed, nullptr, false)),
        kXmlOk)
        << c.text;
    EXPECT_EQ(ChildNames(root), c.left) << c.text;
    ASSERT_NE(MemStoreAddChild(document.get(), root, L"Z"), nullptr);
    std::vector<std::string> expected = c.left;
    expected.push_back("Z");
    EXPECT_EQ(ChildNames(root), expected) << c.text << ": appended after the new last child";
    MemStoreCursor cursor;
    const _XML_NODE* z = MemStoreFindChild(root, L"Z", &cursor, false);
    ASSERT_NE(z, nullptr) << c.text;
    EXPECT_EQ(MemStoreNextSibling(z), nullptr) << c.text;
    EXPECT_EQ(MemStoreFindChild(root, L"Z", &cursor, false), nullptr) << "the search ends at Z";
  }
}

TEST(XmlDocumentTest, NamesAndValuesOutliveTheCallersStrings) {
  XmlDocumentPtr document = MemStoreCreate(0);
  std::wstring name = L"Root";
  _XML_NODE* root = MemStoreCreateRoot(document.get(), name.c_str());
  name = L"Kid";
  _XML_NODE* kid = MemStoreAddChild(document.get(), root, name.c_str());
  std::wstring value = L"v1";
  name = L"attr";
  ASSERT_EQ(MemStoreSetAttribute(document.get(), kid, name.c_str(), value.c_str()), kXmlOk);
  name.assign(name.size(), L'#');
  value.assign(value.size(), L'#');
  // Equal names are kept once; every node still reads its own.
  for (int i = 0; i < 3; ++i) ASSERT_NE(MemStoreAddChild(document.get(), root, L"Kid"), nullptr);
  EXPECT_EQ(MemStoreNodeName(root), "Root");
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"Kid", "Kid", "Kid", "Kid"}));
  EXPECT_EQ(AttributeOf(document.get(), kid, L"ATTR"), L"v1");
}

TEST(XmlDocumentTest, ADocumentLoadsAgainAfterItsRootIsRemoved) {
  XmlDocumentPtr document = ParseXml("<A v=\"first\"><B/></A>");
  ASSERT_NE(document, nullptr);
  _XML_NODE* root = MemStoreGetRoot(document.get());
  ASSERT_EQ(MemStoreSetAttribute(document.get(), root, L"w", L"set"), kXmlOk);
  ASSERT_EQ(MemStoreRemoveNode(document.get(), root), kXmlOk);
  const std::string text = "<C x=\"second\">text</C>";
  ASSERT_EQ(MemStoreLoadText(document.get(), text.data(), text.size(), 1, 500), kXmlOk);
  root = MemStoreGetRoot(document.get());
  ASSERT_EQ(MemStoreSetAttribute(document.get(), root, L"y", L"later"), kXmlOk);
  EXPECT_EQ(Serialized(document.get()), WithDeclaration("<C x=\"second\" y=\"later\">text</C>\n"));
}

TEST(XmlDocumentTest, RemovingANodeMissingFromItsParentsListFails) {
  XmlDocumentPtr document = ParseXml("<R><A><X/></A></R>");
  ASSERT_NE(document, nullptr);
  _XML_NODE* root = MemStoreGetRoot(document.get());
  _XML_NODE* a = MemStoreFirstChild(root);
  _XML_NODE* stray = MemStoreNewNode(document.get(), kXmlElement, L"S");
  ASSERT_NE(stray, nullptr);
  MemStoreAppendChild(stray, MemStoreNewNode(document.get(), kXmlElement, L"K"));
  stray->parent = root;  // claims a parent that does not list it
  EXPECT_EQ(MemStoreRemoveNode(document.get(), stray), kXmlFailure);
  EXPECT_EQ(MemStoreFirstChild(stray), nullptr) << "its children went back to the pool";
  EXPECT_EQ(MemStoreFirstChild(root), a);
  EXPECT_EQ(ChildNames(root), std::vector<std::string>{"A"});
}

TEST(XmlDocumentTest, CloseAndDiscardReleaseEverything) {
  for (int close = 0; close < 2; ++close) {
    XmlDocumentPtr document = ParseXml("<R><A b=\"1\">t</A></R>");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(close ? MemStoreClose(std::move(document)) : MemStoreDiscard(std::move(document)),
              kXmlOk);
    EXPECT_EQ(document, nullptr);
  }
  EXPECT_EQ(MemStoreClose(nullptr), kXmlOk);
}

TEST(XmlDocumentTest, ValuePoolGrowthKeepsNodesValid) {
  XmlDocumentPtr document = MemStoreCreate(0);
  _XML_NODE* root = MemStoreCreateRoot(document.get(), L"R");
  const std::wstring big(10000, L'x');
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(MemStoreSetAttribute(document.get(), root, (L"a" + std::to_wstring(i)).c_str(),
                                   (big + std::to_wstring(i)).c_str()),
              kXmlOk);
  }
  EXPECT_EQ(AttributeOf(document.get(), root, L"a0"), big + L"0");
  EXPECT_EQ(AttributeOf(document.get(), root, L"a19"), big + L"19");
}

}  // namespace
}  // namespace upd::test
