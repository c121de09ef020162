#include "platform/store/typed_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/store/xml_document.h"
#include "platform/util/base64.h"
#include "platform/util/scrambler.h"
#include "xml_test_util.h"

namespace upd::test {
namespace {

class TypedValueTest : public testing::Test {
 protected:
  void SetUp() override {
    document_ = MemStoreCreate(0);
    root_ = MemStoreCreateRoot(document_.get(), L"R");
    ASSERT_NE(root_, nullptr);
  }
  void Load(std::string_view text) {
    document_ = ParseXml(text);
    ASSERT_NE(document_, nullptr);
    root_ = MemStoreGetRoot(document_.get());
  }
  std::wstring Value(const _XML_NODE* element, const wchar_t* name = L"v") {
    return AttributeOf(document_.get(), element, name);
  }
  std::string Text() { return Serialized(document_.get()); }

  XmlDocumentPtr document_;
  _XML_NODE* root_ = nullptr;
};

TEST_F(TypedValueTest, NumbersAreWrittenInUpperCaseHexWithoutPadding) {
  const struct {
    uint64_t value;
    bool qword;
    const wchar_t* text;
  } cases[] = {{0, false, L"0"},
               {4294967295u, false, L"FFFFFFFF"},
               {0xABC, false, L"ABC"},
               {4294967296u, true, L"100000000"},
               {~uint64_t{0}, true, L"FFFFFFFFFFFFFFFF"},
               {0, true, L"0"}};
  for (const auto& c : cases) {
    const uint32_t rc =
        c.qword ? MemStoreSetQword(document_.get(), root_, L"v", c.value)
                : MemStoreSetDword(document_.get(), root_, L"v", static_cast<uint32_t>(c.value));
    ASSERT_EQ(rc, kXmlOk);
    EXPECT_EQ(Value(root_), c.text);
    uint64_t back = 1;
    ASSERT_EQ(MemStoreGetQword(document_.get(), root_, L"v", &back), kXmlOk);
    EXPECT_EQ(back, c.value);
  }
}

TEST_F(TypedValueTest, NumbersReadFromUpToSixteenDigits) {
  const struct {
    const char* text;
    bool ok;
    uint32_t dword;
    uint64_t qword;
  } cases[] = {
      {"ff", true, 255, 255},
      {"0x10", false, 0, 0},
      {"", true, 0, 0},
      {"123456789", true, 0x23456789, 0x123456789},
      {"FFFFFFFFFFFFFFFF", true, 0xFFFFFFFF, ~uint64_t{0}},
      {"10000000000000000", false, 0, 0},  // 17 digits
      {"00000000000000001", false, 0, 0},
      {"-1", false, 0, 0},
      {" 1", false, 0, 0},
      {"g", false, 0, 0},
  };
  for (const auto& c : cases) {
    Load(std::string("<R v=\"") + c.text + "\"/>");
    uint32_t dword = 7;
    uint64_t qword = 7;
    EXPECT_EQ(MemStoreGetDword(document_.get(), root_, L"v", &dword), c.ok ? kXmlOk : kXmlFailure)
        << c.text;
    EXPECT_EQ(MemStoreGetQword(document_.get(), root_, L"v", &qword), c.ok ? kXmlOk : kXmlFailure)
        << c.text;
    EXPECT_EQ(dword, c.ok ? c.dword : 7u) << c.text << ": nothing stored on failure";
    EXPECT_EQ(qword, c.ok ? c.qword : 7u) << c.text;
  }
  uint32_t out = 0;
  EXPECT_EQ(MemStoreGetDword(document_.get(), root_, L"missing", &out), kXmlFailure);
}

TEST_F(TypedValueTest, StringsAreUtf8AndInvalidTextIsRefused) {
  ASSERT_EQ(MemStoreSetString(document_.get(), root_, L"v", "gr\xC3\xBC\xC3\x9F <&>"), kXmlOk);
  EXPECT_EQ(Value(root_), L"gr\u00FC\u00DF <&>");
  EXPECT_EQ(MemStoreSetString(document_.get(), root_, L"v", "bad \xC3("), kXmlFailure);
  EXPECT_EQ(MemStoreSetString(document_.get(), root_, L"new", "\xFF"), kXmlFailure);
  EXPECT_EQ(Value(root_), L"gr\u00FC\u00DF <&>") << "a refused text changes nothing";
  EXPECT_EQ(Value(root_, L"new"), L"<missing>");

  char buffer[32];
  size_t size = 0;
  ASSERT_EQ(MemStoreGetString(document_.get(), root_, L"v", nullptr, &size), kXmlOk);
  EXPECT_EQ(size, 11u) << "bytes the UTF-8 text needs with its NUL";
  size = sizeof(buffer);
  ASSERT_EQ(MemStoreGetString(document_.get(), root_, L"v", buffer, &size), kXmlOk);
  EXPECT_STREQ(buffer, "gr\xC3\xBC\xC3\x9F <&>");
  EXPECT_EQ(size, 11u);
  size = 4;  // room for "gr" and half of the u-umlaut: the cut keeps whole characters
  ASSERT_EQ(MemStoreGetString(document_.get(), root_, L"v", buffer, &size), kXmlOk);
  EXPECT_STREQ(buffer, "gr");
  EXPECT_EQ(size, 3u);
}

TEST_F(TypedValueTest, StringThatCannotBeConvertedIsAFailureNotAnEmptyText) {
  Load("<R v=\"&#xD800;\"/>");
  char buffer[16] = "x";
  size_t size = sizeof(buffer);
  EXPECT_EQ(MemStoreGetString(document_.get(), root_, L"v", buffer, &size), kXmlFailure);
  EXPECT_STREQ(buffer, "");
}

TEST_F(TypedValueTest, BinaryValuesAreBase64) {
  const unsigned char bytes[] = {0, 1, 2, 0xFF, 0xFE};
  ASSERT_EQ(MemStoreSetBinary(document_.get(), root_, L"v", bytes, sizeof(bytes)), kXmlOk);
  EXPECT_EQ(Value(root_), L"AAEC//4=");
  EXPECT_EQ(MemStoreSetBinary(document_.get(), root_, L"v", nullptr, 0), kXmlFailure);

  size_t size = 0;
  ASSERT_EQ(MemStoreGetBinary(document_.get(), root_, L"v", nullptr, &size), kXmlOk);
  EXPECT_EQ(size, 5u);
  unsigned char out[8] = {};
  size = 4;
  EXPECT_EQ(MemStoreGetBinary(document_.get(), root_, L"v", out, &size), kXmlFailure);
  EXPECT_EQ(size, 5u) << "too small: the size needed";
  size = sizeof(out);
  ASSERT_EQ(MemStoreGetBinary(document_.get(), root_, L"v", out, &size), kXmlOk);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::memcmp(out, bytes, sizeof(bytes)), 0);
}

TEST_F(TypedValueTest, BinaryEdgeCases) {
  Load("<R empty=\"\" bad=\"AA*=\" spaced=\"YW&#x0A;Jj\" wide=\"&#xE9;AAA\"/>");
  unsigned char out[8];
  size_t size = 0;
  EXPECT_EQ(MemStoreGetBinary(document_.get(), root_, L"empty", nullptr, &size), kXmlOk);
  EXPECT_EQ(size, 0u);
  size = sizeof(out);
  EXPECT_EQ(MemStoreGetBinary(document_.get(), root_, L"empty", out, &size), kXmlOk);
  EXPECT_EQ(size, 0u);
  size = sizeof(out);
  EXPECT_EQ(MemStoreGetBinary(document_.get(), root_, L"bad", out, &size), kXmlFailure);
  size = sizeof(out);
  EXPECT_EQ(MemStoreGetBinary(document_.get(), root_, L"wide", out, &size), kXmlFailure);
  size = sizeof(out);
  ASSERT_EQ(MemStoreGetBinary(document_.get(), root_, L"spaced", out, &size), kXmlOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size), "abc");
  size = 0;
  EXPECT_EQ(MemStoreGetBinary(document_.get(), root_, L"missing", nullptr, &size), kXmlFailure);
}

TEST_F(TypedValueTest, PasswordsAreScrambledUtf16InBase64) {
  const char* password = "p\xC3\xA4sswort-\xF0\x9F\x94\x91";  // with a surrogate pair
  const std::u16string utf16 = u"p\u00E4sswort-\U0001F511";
  ASSERT_EQ(MemStoreSetUtf16(document_.get(), root_, L"v", password), kXmlOk);

  const std::wstring stored = Value(root_);
  EXPECT_EQ(stored.find(L"ssw"), std::wstring::npos);
  const std::string text(stored.begin(), stored.end());
  std::vector<unsigned char> raw(64);
  uint64_t written = 0;
  ASSERT_EQ(Base64Decode(text.c_str(), text.size(), raw.data(), raw.size(), &written), 1);
  ASSERT_EQ(written, utf16.size() * 2);
  ScrambleBytes(raw.data(), 0, written);
  EXPECT_EQ(std::memcmp(raw.data(), utf16.data(), written), 0)
      << "UTF-16LE, scrambled from offset 0, without the NUL";

  char out[64];
  size_t size = sizeof(out);
  ASSERT_EQ(MemStoreGetUtf16(document_.get(), root_, L"v", out, &size), kXmlOk);
  EXPECT_STREQ(out, password);
  EXPECT_EQ(size, utf16.size()) << "the size counts UTF-16 units";

  size = utf16.size() - 1;  // fewer units than the value holds
  EXPECT_EQ(MemStoreGetUtf16(document_.get(), root_, L"v", out, &size), kXmlFailure);
  size = 12;  // enough units, too few bytes for the UTF-8 text
  EXPECT_EQ(MemStoreGetUtf16(document_.get(), root_, L"v", out, &size), kXmlFailure);
  EXPECT_EQ(MemStoreSetUtf16(document_.get(), root_, L"w", "\xC3"), kXmlFailure);
  EXPECT_EQ(Value(root_, L"w"), L"<missing>");
}

TEST_F(TypedValueTest, ValueNodesAreWrittenNameValueType) {
  const uint32_t one = 1;
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"SnapshotCount", kMemStoreDword, &one, 4),
            1u);
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"Empty", kMemStoreEmpty, nullptr, 0), 1u);
  const uint64_t big = 0x123456789ABULL;
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"Big", kMemStoreUlonglong, &big, 8), 1u);
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"S", kMemStoreString, "a\"b", 4), 1u);
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"B", kMemStoreBinary, "abc", 3), 1u);
  EXPECT_EQ(Text(),
            WithDeclaration("<R>\n"
                            " <NODE NAME=\"SnapshotCount\" VALUE=\"1\" TYPE=\"DWORD\" />\n"
                            " <NODE NAME=\"Empty\" />\n"
                            " <NODE NAME=\"Big\" VALUE=\"123456789AB\" TYPE=\"ULONGLONG\" />\n"
                            " <NODE NAME=\"S\" VALUE=\"a&quot;b\" TYPE=\"STRING\" />\n"
                            " <NODE NAME=\"B\" VALUE=\"YWJj\" TYPE=\"BINARY\" />\n"
                            "</R>\n"));
}

TEST_F(TypedValueTest, RewritingAValueKeepsItsNodeAndAttributeOrder) {
  Load("<R><NODE TYPE=\"STRING\" NAME=\"x\" VALUE=\"text\"/></R>");
  const uint32_t value = 0x2A;
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"X", kMemStoreDword, &value, 4), 1u);
  EXPECT_EQ(Text(),
            WithDeclaration("<R>\n <NODE TYPE=\"DWORD\" NAME=\"x\" VALUE=\"2A\" />\n</R>\n"));
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"x", kMemStoreEmpty, nullptr, 0), 1u);
  EXPECT_EQ(Text(),
            WithDeclaration("<R>\n <NODE TYPE=\"DWORD\" NAME=\"x\" VALUE=\"2A\" />\n</R>\n"))
      << "EMPTY leaves an existing value alone";
}

TEST_F(TypedValueTest, FailedWritesStillSetTheType) {
  const uint16_t small = 5;
  EXPECT_EQ(MemStoreWriteValue(document_.get(), root_, L"a", kMemStoreDword, &small, 2), 0u);
  EXPECT_EQ(MemStoreWriteValue(document_.get(), root_, L"b", kMemStoreSubnode, nullptr, 0), 0u);
  EXPECT_EQ(MemStoreWriteValue(document_.get(), root_, L"c", kMemStoreXml, nullptr, 0), 0u);
  EXPECT_EQ(MemStoreWriteValue(document_.get(), root_, L"d", kMemStoreString, "\xC3", 2), 0u);
  EXPECT_EQ(MemStoreWriteValue(document_.get(), root_, L"e", 8, &small, 2), 0u);
  EXPECT_EQ(Text(), WithDeclaration("<R>\n"
                                    " <NODE NAME=\"a\" TYPE=\"DWORD\" />\n"
                                    " <NODE NAME=\"b\" TYPE=\"SUBNODE\" />\n"
                                    " <NODE NAME=\"c\" TYPE=\"XML\" />\n"
                                    " <NODE NAME=\"d\" TYPE=\"STRING\" />\n"
                                    "</R>\n"));
}

TEST_F(TypedValueTest, ReadersMatchTypeAndNameWithoutConverting) {
  Load(
      "<R><node name=\"D\" VALUE=\"ff\" TYPE=\"dword\"/><NODE NAME=\"s\" VALUE=\"12\" "
      "TYPE=\"STRING\"/><NODE NAME=\"e\" TYPE=\"EMPTY\"/><NODE NAME=\"u\" VALUE=\"1\" "
      "TYPE=\"WORD\"/><NODE NAME=\"b\" VALUE=\"YWJj\" TYPE=\"BINARY\"/></R>");
  uint32_t number = 9;
  EXPECT_EQ(MemStoreReadDword(document_.get(), root_, L"d", &number), 1u);
  EXPECT_EQ(number, 255u);
  number = 9;
  EXPECT_EQ(MemStoreReadDword(document_.get(), root_, L"s", &number), 0u);
  EXPECT_EQ(MemStoreReadDword(document_.get(), root_, L"e", &number), 0u);
  EXPECT_EQ(MemStoreReadDword(document_.get(), root_, L"u", &number), 0u);
  EXPECT_EQ(MemStoreReadDword(document_.get(), root_, L"none", &number), 0u);
  EXPECT_EQ(number, 9u);

  char text[8];
  size_t size = sizeof(text);
  EXPECT_EQ(MemStoreReadString(document_.get(), root_, L"S", text, &size), 1u);
  EXPECT_STREQ(text, "12");
  size = sizeof(text);
  EXPECT_EQ(MemStoreReadString(document_.get(), root_, L"d", text, &size), 0u);
  EXPECT_EQ(size, 0u) << "a value of another type sets the size to 0";
  unsigned char bytes[8];
  size = sizeof(bytes);
  EXPECT_EQ(MemStoreReadBinary(document_.get(), root_, L"b", bytes, &size), 1u);
  EXPECT_EQ(size, 3u);
  size = sizeof(text);
  EXPECT_EQ(MemStoreReadPassword(document_.get(), root_, L"b", text, &size), 0u);
  EXPECT_EQ(size, 0u);
}

TEST_F(TypedValueTest, PasswordValueRoundTrip) {
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, L"Pw", kMemStorePass, "s3cr\xC3\xA9t", 8),
            1u);
  XmlDocumentPtr again = ParseXml(Text());
  ASSERT_NE(again, nullptr);
  char out[32];
  size_t size = sizeof(out);
  ASSERT_EQ(MemStoreReadPassword(again.get(), MemStoreGetRoot(again.get()), L"pw", out, &size), 1u);
  EXPECT_STREQ(out, "s3cr\xC3\xA9t");
  EXPECT_EQ(Text().find("s3cr"), std::string::npos);
}

TEST_F(TypedValueTest, NamesOfSixtyFourCharactersAreNeverFound) {
  const uint32_t value = 1;
  const std::wstring name63(63, L'n');
  const std::wstring name64(64, L'n');
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, name63.c_str(), kMemStoreDword, &value, 4),
            1u);
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, name63.c_str(), kMemStoreDword, &value, 4),
            1u);
  EXPECT_NE(MemStoreFindNamedNode(document_.get(), root_, name63.c_str()), nullptr);
  ASSERT_EQ(MemStoreWriteValue(document_.get(), root_, name64.c_str(), kMemStoreDword, &value, 4),
            1u);
  EXPECT_EQ(MemStoreFindNamedNode(document_.get(), root_, name64.c_str()), nullptr);
  int nodes = 0;
  for (const _XML_NODE* n = MemStoreFirstChild(root_); n != nullptr; n = MemStoreNextSibling(n)) {
    ++nodes;
  }
  EXPECT_EQ(nodes, 2) << "the 63-character name was found again, the 64-character one was not";
}

}  // namespace
}  // namespace upd::test
