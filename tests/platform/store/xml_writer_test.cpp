#include "platform/store/xml_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/store/xml_document.h"
#include "xml_test_util.h"

namespace upd::test {
namespace {

TEST(XmlWriterTest, FixedIndentAndTheFourElementForms) {
  XmlDocumentPtr document = ParseXml(
      "<R><Empty></Empty><Attrs a=\"1\" b=\"2\"/><T x=\"y\">hi<Kid k=\"v\"/></T>"
      "<Deep><L1><L2 z=\"\"/></L1></Deep></R>");
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(Serialized(document.get()), WithDeclaration("<R>\n"
                                                        " <Empty>\n"
                                                        " </Empty>\n"
                                                        " <Attrs a=\"1\" b=\"2\" />\n"
                                                        " <T x=\"y\">hi  <Kid k=\"v\" />\n"
                                                        "</T>\n"
                                                        " <Deep>\n"
                                                        "  <L1>\n"
                                                        "   <L2 z=\"\" />\n"
                                                        "  </L1>\n"
                                                        " </Deep>\n"
                                                        "</R>\n"));
}

TEST(XmlWriterTest, ValuesAreEscapedExactly) {
  XmlDocumentPtr document = MemStoreCreate(0);
  _XML_NODE* root = MemStoreCreateRoot(document.get(), L"R");
  ASSERT_EQ(
      MemStoreSetAttribute(document.get(), root, L"v", L"<>&'\"\r\n\tz\u00E9\u20AC\U0001F600"),
      kXmlOk);
  const std::string expected = WithDeclaration(
      "<R v=\"&lt;&gt;&amp;&apos;&quot;&#x000D;&#x000A;&#x0009;z\xC3\xA9\xE2\x82\xAC"
      "\xF0\x9F\x98\x80\" />\n");
  EXPECT_EQ(Serialized(document.get()), expected);
  // What was written reads back as it was set, line breaks and TAB included.
  XmlDocumentPtr again = ParseXml(expected);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(AttributeOf(again.get(), MemStoreGetRoot(again.get()), L"v"),
            L"<>&'\"\r\n\tz\u00E9\u20AC\U0001F600");
}

TEST(XmlWriterTest, AsciiOutputWritesReferences) {
  XmlDocumentPtr document = MemStoreCreate(1);
  _XML_NODE* root = MemStoreCreateRoot(document.get(), L"R");
  ASSERT_EQ(MemStoreSetAttribute(document.get(), root, L"v", L"\u00E9\U0001F600a\x7F"), kXmlOk);
  EXPECT_EQ(Serialized(document.get()),
            "<?xml version=\"1.0\"?>\n<R v=\"&#x00E9;&#x1F600;a&#x007F;\" />\n");
}

TEST(XmlWriterTest, UnwritableValuesFailTheWrite) {
  const struct {
    const char* text;
    uint32_t ascii;
    const char* written;  // null: serialisation fails
  } cases[] = {
      {"<R v=\"a&#0;b\"/>", 0, nullptr},
      {"<R v=\"a&#0;b\"/>", 1, "<?xml version=\"1.0\"?>\n<R v=\"a&#x0000;b\" />\n"},
      {"<R v=\"&#x80000000;\"/>", 0, nullptr},
      {"<R v=\"&#x7FFFFFFF;\"/>", 0,
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<R v=\"\xFD\xBF\xBF\xBF\xBF\xBF\" />\n"},
      {"<R>&bogus;</R>", 0, nullptr},
  };
  for (const auto& c : cases) {
    XmlDocumentPtr document = ParseXml(c.text, kXmlDefaultDepth, c.ascii);
    ASSERT_NE(document, nullptr) << c.text;
    EXPECT_EQ(Serialized(document.get()), c.written != nullptr ? c.written : "<failed>") << c.text;
  }
}

TEST(XmlWriterTest, WriteToBufferReportsTheSizeNeeded) {
  XmlDocumentPtr document = ParseXml("<A b=\"c\"/>");
  ASSERT_NE(document, nullptr);
  const _XML_NODE* root = MemStoreGetRoot(document.get());
  const std::string text = WithDeclaration("<A b=\"c\" />\n");
  size_t size = 0;
  EXPECT_EQ(MemStoreWriteToBuffer(document.get(), root, nullptr, &size), kXmlTooSmall);
  EXPECT_EQ(size, text.size() + 1);

  std::vector<char> buffer(text.size() + 1, 'x');
  size = text.size();  // one byte short: no room for the NUL
  EXPECT_EQ(MemStoreWriteToBuffer(document.get(), root, buffer.data(), &size), kXmlTooSmall);
  EXPECT_EQ(size, text.size() + 1);

  size = buffer.size();
  EXPECT_EQ(MemStoreWriteToBuffer(document.get(), root, buffer.data(), &size), kXmlOk);
  EXPECT_EQ(size, text.size() + 1);
  EXPECT_EQ(std::string(buffer.data()), text);

  size = 64;
  EXPECT_EQ(MemStoreWriteToBuffer(document.get(), nullptr, buffer.data(), &size), kXmlOk);
  EXPECT_EQ(std::string(buffer.data()), WithDeclaration(""));
}

TEST(XmlWriterTest, UndecodableValueIsReportedWhenItFits) {
  XmlDocumentPtr document = ParseXml("<A b=\"&nope;\"/>");
  ASSERT_NE(document, nullptr);
  std::vector<char> buffer(256);
  size_t size = buffer.size();
  EXPECT_EQ(
      MemStoreWriteToBuffer(document.get(), MemStoreGetRoot(document.get()), buffer.data(), &size),
      kXmlFailure);
}

// Many records, so that the text is handed on in several pieces; the last
// record's value cannot be decoded when `broken`.
std::string Records(int count, bool broken) {
  std::string text = "<R>";
  for (int i = 0; i < count; ++i) text += "<M ID=\"" + std::to_string(i) + "\" F=\"a&amp;b\"/>";
  if (broken) text += "<M ID=\"x&nope;y\"/>";
  return text + "</R>";
}

TEST(XmlWriterTest, StreamedAndSizedTextsEqualTheWholeText) {
  for (const bool broken : {false, true}) {
    XmlDocumentPtr document = ParseXml(Records(20000, broken));
    ASSERT_NE(document, nullptr);
    const _XML_NODE* root = MemStoreGetRoot(document.get());
    std::string whole;
    EXPECT_EQ(MemStoreSerialize(document.get(), root, &whole), !broken);
    std::string streamed;
    int pieces = 0;
    const bool ok = MemStoreSerializeTo(document.get(), root, [&](std::string_view piece) {
      streamed += piece;
      ++pieces;
      return true;
    });
    EXPECT_EQ(ok, !broken);
    EXPECT_EQ(streamed, whole) << "the same text, up to the failing character when broken";
    std::string sized = "left over";
    EXPECT_EQ(MemStoreSerializeSized(document.get(), root, &sized), !broken);
    if (!broken) {
      EXPECT_EQ(sized, whole);
    }
    EXPECT_GT(pieces, 4) << "never held whole";
    if (broken) {
      EXPECT_TRUE(whole.ends_with("\n <M ID=\"x")) << "stops at the bad reference";
    }
  }
}

TEST(XmlWriterTest, ARefusingSinkStopsTheSerialisation) {
  XmlDocumentPtr document = ParseXml(Records(20000, false));
  ASSERT_NE(document, nullptr);
  int calls = 0;
  EXPECT_FALSE(
      MemStoreSerializeTo(document.get(), MemStoreGetRoot(document.get()), [&](std::string_view) {
        ++calls;
        return false;
      }));
  EXPECT_EQ(calls, 1) << "nothing is offered after a refusal";
}

TEST(XmlWriterTest, WriteToBufferOfALargeDocument) {
  for (const bool broken : {false, true}) {
    XmlDocumentPtr document = ParseXml(Records(20000, broken));
    ASSERT_NE(document, nullptr);
    const _XML_NODE* root = MemStoreGetRoot(document.get());
    std::string text;
    (void)MemStoreSerialize(document.get(), root, &text);
    size_t size = 0;
    ASSERT_EQ(MemStoreWriteToBuffer(document.get(), root, nullptr, &size), kXmlTooSmall);
    ASSERT_EQ(size, text.size() + 1);
    std::vector<char> buffer(size + 1, '#');
    size = text.size();
    EXPECT_EQ(MemStoreWriteToBuffer(document.get(), root, buffer.data(), &size), kXmlTooSmall);
    EXPECT_EQ(size, text.size() + 1);
    EXPECT_EQ(buffer[text.size()], '#') << "nothing written past the capacity";
    size = text.size() + 1;
    EXPECT_EQ(MemStoreWriteToBuffer(document.get(), root, buffer.data(), &size),
              broken ? kXmlFailure : kXmlOk);
    EXPECT_EQ(size, text.size() + 1);
    EXPECT_EQ(std::string(buffer.data()), text);
  }
}

}  // namespace
}  // namespace upd::test
