#include "platform/store/xml_path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/store/xml_document.h"
#include "xml_test_util.h"

namespace upd::test {
namespace {

class XmlPathTest : public testing::Test {
 protected:
  void Load(std::string_view text) {
    document_ = ParseXml(text);
    ASSERT_NE(document_, nullptr);
  }
  _XML_NODE* Resolve(const std::wstring& path, uint32_t mode, bool prefix = false,
                     _XML_NODE* start = nullptr) {
    return MemStoreResolvePath(document_.get(), start, path.c_str(), mode, prefix);
  }
  // The "n" attribute of what a path finds, "<null>" when nothing.
  std::wstring Found(const std::wstring& path, uint32_t mode = kXmlPathFind, bool prefix = false) {
    _XML_NODE* node = Resolve(path, mode, prefix);
    return node == nullptr ? L"<null>" : AttributeOf(document_.get(), node, L"n");
  }
  std::string Text() { return Serialized(document_.get()); }

  XmlDocumentPtr document_;
};

TEST_F(XmlPathTest, FindMatchesNamesAndEveryTest) {
  Load(
      "<R><P ID=\"0007\" n=\"p7\"><S n=\"s7\"/></P><P ID=\"8\" K=\"x\" n=\"p8\"/>"
      "<P ID=\"8\" K=\"Y\" n=\"p8y\"/><P ID=\"a;b\" n=\"semi\"/><P ID=\"q\\z\" n=\"slash\"/>"
      "<ns:Q n=\"prefixed\"/><P ID=\"0\" n=\"zero\"/><P ID=\"\" n=\"empty\"/></R>");
  const struct {
    const wchar_t* path;
    const wchar_t* n;
  } cases[] = {
      {L"P", L"p7"},
      {L"p;id=#7", L"p7"},
      {L"P;ID=#007", L"p7"},
      {L"P;ID=0007", L"p7"},
      {L"P;ID=7", L"<null>"},  // only numeric tests drop leading zeros
      {L"P;ID=#7\\S", L"s7"},
      {L"P;ID=#8;K=y", L"p8y"},
      {L"P;K=x;ID=8", L"p8"},
      {L"P;ID=8;K=z", L"<null>"},
      {L"P;ID=\"a;b\"", L"semi"},
      {L"P;ID=\"q\\z\"", L"slash"},
      {L"P;ID=#000", L"zero"},
      {L"P;ID=", L"empty"},
      {L"P;ID=#8;", L"<null>"},  // an empty test has no '='
      {L"P;ID", L"<null>"},
      {L"Q", L"<null>"},
      {L"S", L"<null>"},  // only children of the start node are searched
      {L"P\\", L"<null>"},
      {L"\\P", L"<null>"},
      {L"P;ID=#7\\\\S", L"<null>"},
      {L"", L"<null>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Found(c.path), c.n) << c.path;
  EXPECT_EQ(Found(L"Q", kXmlPathFind, true), L"prefixed");
  EXPECT_EQ(Found(L"R", kXmlPathFind), L"<null>") << "the start node itself is not a match";
}

TEST_F(XmlPathTest, CreateStoresTestsAsPlainAttributes) {
  Load("<R/>");
  _XML_NODE* created = Resolve(L"A;ID=#007;Name=\"x;y\";Raw=\"q\"r\\B;K=v", kXmlPathCreate);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(Text(), WithDeclaration("<R>\n"
                                    " <A ID=\"7\" Name=\"x;y\" Raw=\"&quot;q&quot;r\">\n"
                                    "  <B K=\"v\" />\n"
                                    " </A>\n"
                                    "</R>\n"));
  EXPECT_EQ(Resolve(L"A;ID=#7;Name=\"X;Y\"\\B;K=V", kXmlPathFind), created);
}

TEST_F(XmlPathTest, CreateModesAlwaysAppend) {
  Load("<R/>");
  for (uint32_t mode : {kXmlPathCreate, kXmlPathCreateAlso, kXmlPathCreate}) {
    ASSERT_NE(Resolve(L"A;n=1", mode), nullptr);
  }
  EXPECT_EQ(Text(), WithDeclaration("<R>\n <A n=\"1\" />\n <A n=\"1\" />\n <A n=\"1\" />\n</R>\n"));
}

TEST_F(XmlPathTest, FindOrCreateReusesWhatMatches) {
  Load("<R><A n=\"1\"/></R>");
  _XML_NODE* first = Resolve(L"A;n=1\\B", kXmlPathFindOrCreate);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Resolve(L"a;N=1\\b", kXmlPathFindOrCreate), first);
  ASSERT_NE(Resolve(L"A;n=2", kXmlPathFindOrCreate), nullptr);
  EXPECT_EQ(Text(),
            WithDeclaration("<R>\n <A n=\"1\">\n  <B>\n  </B>\n </A>\n <A n=\"2\" />\n</R>\n"));
  _XML_NODE* created = Resolve(L"ns:A", kXmlPathFindOrCreate, true);
  EXPECT_EQ(Resolve(L"ns:A", kXmlPathFind), created) << "find-or-create ignores the prefix flag";
}

TEST_F(XmlPathTest, MalformedTestStopsCreationHalfWay) {
  Load("<R/>");
  EXPECT_EQ(Resolve(L"A;x=1;bad;y=2", kXmlPathCreate), nullptr);
  EXPECT_EQ(Text(), WithDeclaration("<R>\n <A x=\"1\" />\n</R>\n"));
  EXPECT_EQ(Resolve(L"B;", kXmlPathFindOrCreate), nullptr);
}

TEST_F(XmlPathTest, ComponentLengthLimitAndOtherModes) {
  Load("<R/>");
  const std::wstring fits = L"A;V=" + std::wstring(kXmlMaxPathComponent - 4, L'x');
  const std::wstring longer = fits + L"x";
  EXPECT_NE(Resolve(fits + L"\\B", kXmlPathFindOrCreate), nullptr);
  EXPECT_EQ(Resolve(longer + L"\\B", kXmlPathFindOrCreate), nullptr);
  EXPECT_NE(Resolve(L"C;V=" + std::wstring(600, L'y'), kXmlPathCreate), nullptr)
      << "the last component has no length limit";
  EXPECT_EQ(Resolve(L"A", 0), nullptr);
  EXPECT_EQ(Resolve(L"A", 5), nullptr);
  EXPECT_EQ(Resolve(std::wstring(50, L'N'), kXmlPathCreate), nullptr) << "name too long";
  XmlDocumentPtr empty = MemStoreCreate(0);
  EXPECT_EQ(MemStoreResolvePath(empty.get(), nullptr, L"A", kXmlPathFindOrCreate, false), nullptr);
}

TEST_F(XmlPathTest, StartNodeScopesTheSearch) {
  Load("<R><A><B n=\"inner\"/></A><B n=\"outer\"/></R>");
  _XML_NODE* a = Resolve(L"A", kXmlPathFind);
  ASSERT_NE(a, nullptr);
  _XML_NODE* b = Resolve(L"B", kXmlPathFind, false, a);
  EXPECT_EQ(AttributeOf(document_.get(), b, L"n"), L"inner");
  EXPECT_EQ(Found(L"B"), L"outer");
}

}  // namespace
}  // namespace upd::test
