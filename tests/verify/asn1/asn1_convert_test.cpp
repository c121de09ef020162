#include <gtest/gtest.h>

#include <string>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/asn1/asn1.h"
#include "verify/asn1/asn1_integer.h"
#include "verify/asn1/asn1_time.h"
#include "verify/asn1/oid.h"
#include "verify/asn1/oid_text.h"

namespace {

using upd::test::Hex;
using upd::test::ToHex;

ASN1 Node(uint8_t tag, const std::string& raw) { return ASN1(tag, upd::test::BytesOf(raw)); }
ASN1 HexNode(uint8_t tag, const std::string& hex) { return ASN1(tag, Hex(hex)); }

std::string Text(const ASN1& node) {
  Oid oid;
  if (!OidToText(node, oid)) return "<fail>";
  return oid.GetText();
}

// openssl encodes each text; ours must give the same element and read it back.
TEST(OidTest, TextRoundTripsAgainstOpenssl) {
  const char* texts[] = {
      "1.2.840.113549",
      "1.2.840.113549.1.1.11",
      "2.5.29.14",
      "0.9.2342.19200300.100.1.1",
      "1.3.6.1.4.1.311.10.3.1",
      "1.2.2147483647",
      "2.999.3",
      "2.100",
      "0.39",
      "1.2.127.128.16383.16384",
  };
  upd::test::TempDir dir;
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const std::string der = dir.file("oid.der");
    ASSERT_EQ(upd::test::RunCommand(std::string("openssl asn1parse -genstr OID:") + text +
                                    " -out " + der + " > /dev/null"),
              0);
    const std::string expected = upd::test::ReadFile(der);
    ByteArray ours;
    ASSERT_EQ(TextToOid(text, ours), 1);
    EXPECT_EQ(ToHex(ours.AsSpan()), ToHex(upd::test::BytesOf(expected).AsSpan()));
    ASN1 node;
    ASSERT_EQ(node.Load(ours, true), 1);
    EXPECT_EQ(Text(node), text);
  }
}

TEST(OidTest, DerToTextEdges) {
  const struct {
    const char* name;
    const char* hex;
    const char* text;  // null: refused
  } cases[] = {
      {"rsadsi", "2a 86 48 86 f7 0d", "1.2.840.113549"},
      {"leading zero group", "2a 80 01", nullptr},
      {"unfinished arc", "2a 86", nullptr},
      {"empty content", "", nullptr},
      {"largest 32-bit arc", "2a 8f ff ff ff 7f", "1.2.4294967295"},
      {"33-bit arc", "2a 90 80 80 80 00", nullptr},
      {"first octet 120 and above", "78", "2.40"},
      {"first arc in two groups", "88 37", "2.999"},
      {"first group with leading zero", "80 01", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ASN1 node = HexNode(0x06, c.hex);
    EXPECT_EQ(Text(node), c.text == nullptr ? "<fail>" : c.text);
  }
}

TEST(OidTest, BufferMustHoldTheNul) {
  const ASN1 node = HexNode(0x06, "2a 86 48 86 f7 0d");
  int64_t size = 0;
  ASSERT_EQ(OidToText(node, nullptr, size), 1);
  EXPECT_EQ(size, 14);
  char buffer[15];
  size = 14;
  EXPECT_EQ(OidToText(node, buffer, size), 0);
  size = 15;
  ASSERT_EQ(OidToText(node, buffer, size), 1);
  EXPECT_STREQ(buffer, "1.2.840.113549");
  EXPECT_EQ(size, 14);
}

TEST(OidTest, WideTextIsLenient) {
  const struct {
    const char* hex;
    const wchar_t* text;
  } cases[] = {
      {"2a 86 48 86 f7 0d", L"1.2.840.113549"},
      {"2a 80 01", L"1.2.1"},
      {"2a 86", L"1.2"},
      {"2a 90 80 80 80 01", L"1.2.1"},  // low 32 bits of 2^32 + 1
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    std::unique_ptr<wchar_t[]> text;
    ASSERT_EQ(OidToWideText(HexNode(0x06, c.hex), text), 1);
    EXPECT_EQ(std::wstring(text.get()), c.text);
  }
  std::unique_ptr<wchar_t[]> kept(new wchar_t[2]{L'x', L'\0'});
  EXPECT_EQ(OidToWideText(HexNode(0x06, ""), kept), 0);
  EXPECT_EQ(std::wstring(kept.get()), L"x");
}

TEST(OidTest, TextRefusals) {
  const char* refused[] = {
      "1", "1.", "", "12", "1.2.2147483648", "3.1", "1.40", "1.2.-3", "1.2.x", "1.2. 3",
  };
  for (const char* text : refused) {
    ByteArray out = Hex("aa");
    EXPECT_EQ(TextToOid(text, out), 0) << text;
    EXPECT_EQ(ToHex(out.AsSpan()), "aa") << text;
  }
  ByteArray out;
  EXPECT_EQ(TextToOid(nullptr, out), 0);
  ASSERT_EQ(TextToOid("1..2", out), 1);
  EXPECT_EQ(ToHex(out.AsSpan()), "06012a");
  ASSERT_EQ(TextToOid("1.2.2147483647", out), 1);
  EXPECT_EQ(ToHex(out.AsSpan()), "06062a87ffffff7f");
  // 125 content octets fit a one-octet length, 126 do not.
  std::string text = "1.2";
  for (int i = 0; i < 124; ++i) text += ".1";
  ASSERT_EQ(TextToOid(text.c_str(), out), 1);
  EXPECT_EQ(out.GetLength(), 127);
  text += ".1";
  EXPECT_EQ(TextToOid(text.c_str(), out), 0);
}

TEST(OidTest, OwnedTextHolder) {
  Oid a;
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.GetText(), nullptr);
  EXPECT_EQ(a.Equals("1.2"), 0);
  EXPECT_EQ(a.Assign(nullptr), 0);
  ASSERT_EQ(a.Assign("2.5.29.19"), 1);
  EXPECT_EQ(a.GetCapacity(), 10u);
  EXPECT_EQ(a.Equals("2.5.29.19"), 1);
  EXPECT_EQ(a.Equals("2.5.29.1"), 0);
  EXPECT_EQ(a.Equals(nullptr), 0);
  ASSERT_EQ(a.Reserve(4), 1);  // enough room already: the text stays
  EXPECT_STREQ(a.GetText(), "2.5.29.19");
  Oid b;
  ASSERT_EQ(b.CopyFrom(a), 1);
  EXPECT_EQ(b.Equals("2.5.29.19"), 1);
  ASSERT_EQ(b.CopyFrom(Oid()), 1);
  EXPECT_TRUE(b.IsEmpty());
}

int64_t DateOracle(const std::string& date) {
  std::string out;
  if (upd::test::RunCommand("date -u -d '" + date + "' +%s", &out) != 0) return -1;
  return std::stoll(out);
}

TEST(Asn1TimeTest, ReadsTheFormsLikeDate) {
  const struct {
    const char* name;
    uint8_t tag;
    const char* text;
    const char* date;  // null: refused
  } cases[] = {
      {"yy 50 is 2050", 0x17, "500101000000Z", "2050-01-01 00:00:00"},
      {"yy 51 is 1951, before 1970", 0x17, "510101000000Z", nullptr},
      {"yy 69 is refused", 0x17, "690101000000Z", nullptr},
      {"yy 70", 0x17, "700101000000Z", "1970-01-01 00:00:00"},
      {"end of 1999", 0x17, "991231235959Z", "1999-12-31 23:59:59"},
      {"no seconds", 0x17, "2401011230Z", "2024-01-01 12:30:00"},
      {"leap day 2024", 0x18, "20240229120000Z", "2024-02-29 12:00:00"},
      {"no leap day 2023", 0x18, "20230229120000Z", nullptr},
      {"leap day 2000", 0x18, "20000229000000Z", "2000-02-29 00:00:00"},
      {"no leap day 2100", 0x18, "21000229000000Z", nullptr},
      {"no expiry", 0x18, "99991231235959Z", "9999-12-31 23:59:59"},
      {"beyond 3000", 0x18, "30500615101010Z", "3050-06-15 10:10:10"},
      {"east of UTC", 0x17, "240101120000+0100", "2024-01-01 11:00:00"},
      {"west of UTC with minutes", 0x17, "240101120000-0130", "2024-01-01 13:30:00"},
      {"zone of 24 hours", 0x17, "240101120000+2400", "2023-12-31 12:00:00"},
      {"zone hours past 24", 0x17, "240101120000+2500", nullptr},
      {"zone minutes past 59", 0x17, "240101120000+0160", nullptr},
      {"zone letter other than Z", 0x17, "240101120000A", nullptr},
      {"14 characters", 0x18, "20240101120000", nullptr},
      {"12 characters", 0x17, "240101120000", nullptr},
      {"month 13", 0x17, "241301000000Z", nullptr},
      {"day 0", 0x17, "240100000000Z", nullptr},
      {"31 April", 0x17, "240431000000Z", nullptr},
      {"hour 24", 0x17, "240101240000Z", nullptr},
      {"second 60", 0x17, "240101235960Z", nullptr},
      {"sign inside a field", 0x17, "24010-120000Z", nullptr},
      {"space inside a field", 0x18, "2024 101120000Z", nullptr},
      {"year 1969", 0x18, "19691231235959Z", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t time = 12345;
    const int ok = ParseAsn1Time(Node(c.tag, c.text), time);
    if (c.date == nullptr) {
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(time, 12345);
      continue;
    }
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(time, DateOracle(c.date));
  }
}

TEST(Asn1IntegerTest, FoldsTheLastFourOctets) {
  const struct {
    const char* hex;
    uint8_t tag;
    int ok;
    uint32_t value;
  } cases[] = {
      {"01 00 00 00 02", 0x02, 1, 2},          {"", 0x02, 1, 0},   {"ff", 0x02, 1, 255},
      {"00 ff ff ff ff", 0x02, 1, 0xFFFFFFFF}, {"7f", 0x0a, 0, 0}, {"12 34", 0x04, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    uint32_t value = 99;
    ASSERT_EQ(Asn1IntegerToUInt32(HexNode(c.tag, c.hex), value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : 99u);
  }
}

}  // namespace
