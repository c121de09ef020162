#include <gtest/gtest.h>

#include <string>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/asn1/asn1.h"

namespace {

using upd::test::Hex;
using upd::test::ToHex;

TEST(Asn1EncodeTest, HeaderSizesFollowTheContentLength) {
  const struct {
    int64_t length;
    const char* header;
  } cases[] = {
      {0, "0400"},
      {127, "047f"},
      {128, "048180"},
      {255, "0481ff"},
      {256, "04820100"},
      {65535, "0482ffff"},
      {65536, "0483010000"},
      {0xFFFFFF, "0483ffffff"},
      {0x1000000, "048401000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    ByteArray value;
    if (c.length > 0) {
      ASSERT_EQ(value.SetSize(c.length), 1);
    }
    ASN1 node(0x04, value);
    ASSERT_TRUE(node.IsValid());
    const std::string header = c.header;
    const ByteArray& encoding = node.GetEncoded();
    ASSERT_EQ(encoding.GetLength(), c.length + static_cast<int64_t>(header.size() / 2));
    EXPECT_EQ(ToHex(encoding.AsSpan().first(header.size() / 2)), header);
    EXPECT_EQ(node.GetEncodedLength(true), encoding.GetLength());
    EXPECT_EQ(node.GetEncodedLength(false), c.length);
    EXPECT_EQ(node.GetValueLength(), c.length);
    ASN1 reread;
    ASSERT_EQ(reread.Load(encoding, true), 1);
    EXPECT_EQ(reread.GetValueLength(), c.length);
  }
}

TEST(Asn1EncodeTest, BuiltTreeMatchesOpensslGenconf) {
  // The same structure built here and by openssl.
  // The SET's members are in DER order already (openssl sorts them).
  ASN1 inner(0x31);
  ASSERT_EQ(inner.AddChild(ASN1(0x01, Hex("ff"))), 1);
  ASSERT_EQ(inner.AddChild(ASN1(0x05)), 1);
  ASN1 top(0x30);
  ASSERT_EQ(top.AddChild(ASN1(0x02, Hex("05"))), 1);
  ASSERT_EQ(top.AddChild(ASN1(0x0c, upd::test::BytesOf("hi"))), 1);
  ASSERT_EQ(top.AddChild(inner), 1);
  std::string long_text(200, 'z');
  ASSERT_EQ(top.AddChild(ASN1(0x16, upd::test::BytesOf(long_text))), 1);
  EXPECT_NE(top.GetFlags() & ASN1::kFlagStale, 0);

  upd::test::TempDir dir;
  upd::test::WriteFile(dir.file("t.cnf"),
                       "asn1 = SEQUENCE:top\n[top]\na = INTEGER:5\n"
                       "b = UTF8String:hi\nc = SET:inner\nd = IA5STRING:" +
                           long_text + "\n[inner]\nt = BOOLEAN:TRUE\nn = NULL\n");
  ASSERT_EQ(upd::test::RunCommand("openssl asn1parse -genconf " + dir.file("t.cnf") + " -out " +
                                  dir.file("t.der") + " > /dev/null"),
            0);
  const std::string expected = upd::test::ReadFile(dir.file("t.der"));
  EXPECT_EQ(top.GetEncodedLength(true), static_cast<int64_t>(expected.size()));
  const ByteArray& encoded = top.GetEncoded();
  EXPECT_EQ(ToHex(encoded.AsSpan()), ToHex(upd::test::BytesOf(expected).AsSpan()));
  EXPECT_EQ(top.GetFlags() & ASN1::kFlagStale, 0);

  ByteStorage out;
  ASSERT_EQ(ASN1::Encode(top, out), 1);
  EXPECT_EQ(out.GetSize(), static_cast<int64_t>(expected.size()));

  ASN1 parsed;
  ASSERT_EQ(parsed.Load(upd::test::BytesOf(expected), true), 1);
  EXPECT_EQ(parsed.Equals(top), 1);
  ASN1 different(0x30);
  EXPECT_EQ(parsed.Equals(different), 0);
  ASN1 none;
  ASN1 none2;
  EXPECT_EQ(none.Equals(none2), 0);  // two empty encodings are not equal
}

TEST(Asn1EncodeTest, CopiesShareViewsAndCopyChildren) {
  CountedPtr<ASN1> root = ASN1::Parse(Hex("30 06 02 01 05 04 01 aa"), true);
  ASSERT_FALSE(root.IsEmpty());
  ASN1 copy;
  ASSERT_EQ(copy.CopyFrom(*root), 1);
  EXPECT_EQ(copy.GetChildCount(), 2);
  EXPECT_EQ(copy.Value().GetArray(), root->Value().GetArray());
  root.Reset();  // the copy keeps the input alive
  EXPECT_EQ(ToHex(copy.GetChild(1)->Value().AsSpan()), "aa");
  ASSERT_EQ(copy.AddChild(ASN1(0x05)), 1);
  EXPECT_EQ(ToHex(copy.GetEncoded().AsSpan()),
            "3008020105"
            "0401aa0500");
}

TEST(Asn1EncodeTest, ConstructorsMarkEmptyNodes) {
  ASN1 seq(0x30);
  EXPECT_EQ(ToHex(seq.GetEncoded().AsSpan()), "3000");
  EXPECT_EQ(seq.GetFlags(), ASN1::kFlagDecoded);
  ASN1 end(0x00);
  EXPECT_EQ(end.GetFlags(), ASN1::kFlagDecoded | ASN1::kFlagIndefinite);
  EXPECT_FALSE(end.IsValid());
  ASN1 none;
  EXPECT_EQ(none.GetFlags(), 0);
  EXPECT_TRUE(none.GetEncoded().IsEmpty());
}

}  // namespace
