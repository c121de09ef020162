#include "verify/x509/x509_extension.h"

#include <gtest/gtest.h>

#include <string>

#include "support/der_testing.h"
#include "verify/x509/basic_constraints_extension.h"
#include "verify/x509/crl_distribution_points_extension.h"
#include "verify/x509/key_identifier_extensions.h"
#include "verify/x509/key_usage_extension.h"

namespace {

using upd::test::Hex;
using upd::test::ToHex;
using upd::test::Unhex;

// DER of one element with a short or long definite length.
std::string Tlv(uint8_t tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  if (content.size() < 0x80) {
    out += static_cast<char>(content.size());
  } else {
    out += '\x82';
    out += static_cast<char>(content.size() >> 8);
    out += static_cast<char>(content.size() & 0xFF);
  }
  return out + content;
}

// An Extension SEQUENCE: OID content, optional critical BOOLEAN, extnValue content.
std::string ExtensionDer(const std::string& oid_hex, const char* critical_hex,
                         const std::string& value_hex) {
  std::string content = Tlv(0x06, Unhex(oid_hex));
  if (critical_hex != nullptr) content += Unhex(critical_hex);
  content += Tlv(0x04, Unhex(value_hex));
  return Tlv(0x30, content);
}

CountedPtr<X509Extension> Create(const std::string& der) {
  CountedPtr<ASN1> node = ASN1::Parse(upd::test::BytesOf(der), true);
  if (node.IsEmpty()) return {};
  return X509Extension::Create(*node);
}

constexpr const char* kBasicConstraintsOid = "55 1d 13";

TEST(X509ExtensionTest, CreateReadsOidCriticalAndValue) {
  const struct {
    const char* name;
    std::string der;
    bool created;
    const char* oid;
    int critical;
  } cases[] = {
      {"no critical flag", ExtensionDer(kBasicConstraintsOid, nullptr, "30 00"), true, "2.5.29.19",
       0},
      {"critical FF", ExtensionDer(kBasicConstraintsOid, "01 01 ff", "30 00"), true, "2.5.29.19",
       1},
      {"critical 01 is not critical", ExtensionDer(kBasicConstraintsOid, "01 01 01", "30 00"), true,
       "2.5.29.19", 0},
      {"empty BOOLEAN", ExtensionDer(kBasicConstraintsOid, "01 00", "30 00"), true, "2.5.29.19", 0},
      {"content that does not parse", ExtensionDer(kBasicConstraintsOid, nullptr, "30 05 02"),
       false, nullptr, 0},
      {"malformed OID", ExtensionDer("2a 80 01", nullptr, "30 00"), false, nullptr, 0},
      {"only one element", Tlv(0x30, Tlv(0x06, Unhex(kBasicConstraintsOid))), false, nullptr, 0},
      {"first element not an OID", Tlv(0x30, Unhex("02 01 01 04 02 30 00")), false, nullptr, 0},
      {"not a SEQUENCE", Tlv(0x31, Unhex("06 03 55 1d 13 04 02 30 00")), false, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CountedPtr<X509Extension> extension = Create(c.der);
    ASSERT_EQ(!extension.IsEmpty(), c.created);
    if (!c.created) continue;
    EXPECT_STREQ(extension->GetOid().GetText(), c.oid);
    EXPECT_EQ(extension->IsCritical(), c.critical);
    ASSERT_NE(extension->GetContent(), nullptr);
    EXPECT_EQ(extension->GetContent()->GetTag(), 0x30);
    EXPECT_EQ(extension->GetValue().GetTag(), 0x04);
  }
}

TEST(X509ExtensionCollectionTest, ParseKeepsOrderAndFindsTheFirst) {
  const std::string first = ExtensionDer(kBasicConstraintsOid, "01 01 ff", "30 03 01 01 ff");
  const std::string second = ExtensionDer("55 1d 0f", nullptr, "03 02 01 06");
  const std::string duplicate = ExtensionDer(kBasicConstraintsOid, nullptr, "30 00");
  CountedPtr<ASN1> node =
      ASN1::Parse(upd::test::BytesOf(Tlv(0x30, first + second + duplicate)), true);
  ASSERT_FALSE(node.IsEmpty());
  CountedPtr<X509ExtensionCollection> collection = X509ExtensionCollection::Create(*node);
  ASSERT_FALSE(collection.IsEmpty());
  EXPECT_TRUE(collection->IsParsed());
  ASSERT_EQ(collection->GetCount(), 3);
  EXPECT_EQ(collection->IndexOf("2.5.29.19"), 0);
  EXPECT_EQ(collection->IndexOf("2.5.29.15"), 1);
  EXPECT_EQ(collection->IndexOf("2.5.29.1"), -1);
  EXPECT_EQ(collection->IndexOf(nullptr), -1);
  EXPECT_TRUE(collection->Contains("2.5.29.15"));
  CountedPtr<X509Extension> found = collection->Get("2.5.29.19");
  ASSERT_FALSE(found.IsEmpty());
  EXPECT_EQ(found->IsCritical(), 1);
  EXPECT_EQ(found.Get(), collection->GetAt(0).Get());
  EXPECT_TRUE(collection->Get("1.2.3").IsEmpty());

  ASSERT_EQ(collection->SetAtGrow(5, found), 1);
  EXPECT_EQ(collection->GetCount(), 6);
  EXPECT_TRUE(collection->GetAt(4).IsEmpty());
  EXPECT_EQ(collection->IndexOf("2.5.29.19"), 0);
  EXPECT_EQ(collection->SetAtGrow(-1, found), 0);
}

TEST(X509ExtensionCollectionTest, OneBadExtensionFailsTheCollection) {
  const std::string good = ExtensionDer(kBasicConstraintsOid, nullptr, "30 00");
  const std::string bad = ExtensionDer("55 1d 0f", nullptr, "03 05 00");
  X509ExtensionCollection collection;
  CountedPtr<ASN1> node = ASN1::Parse(upd::test::BytesOf(Tlv(0x30, good + bad)), true);
  ASSERT_FALSE(node.IsEmpty());
  EXPECT_EQ(collection.Parse(*node), 0);
  EXPECT_TRUE(X509ExtensionCollection::Create(*node).IsEmpty());

  CountedPtr<ASN1> empty = ASN1::Parse(Hex("30 00"), true);
  ASSERT_EQ(collection.Parse(*empty), 1);
  EXPECT_EQ(collection.GetCount(), 0);
  CountedPtr<ASN1> set = ASN1::Parse(Hex("31 00"), true);
  X509ExtensionCollection other;
  EXPECT_EQ(other.Parse(*set), 0);
  EXPECT_TRUE(other.IsParsed());
}

// A generic extension with the given OID and extnValue content.
CountedPtr<X509Extension> Generic(const char* oid_hex, const std::string& value_hex) {
  return Create(ExtensionDer(oid_hex, nullptr, value_hex));
}

TEST(BasicConstraintsTest, Encodings) {
  const struct {
    const char* name;
    const char* value;
    int result;
    int ca;
    int32_t path;
  } cases[] = {
      {"empty", "30 00", 1, 0, -1},
      {"CA", "30 03 01 01 ff", 1, 1, -1},
      {"CA with length 0", "30 06 01 01 ff 02 01 00", 1, 1, 0},
      {"length only", "30 03 02 01 05", 1, 0, 5},
      {"BOOLEAN 01 is not CA", "30 03 01 01 01", 1, 0, -1},
      {"element after the INTEGER", "30 08 01 01 ff 02 01 00 05 00", 0, 1, 0},
      {"BOOLEAN of two octets", "30 04 01 02 ff ff", 0, 0, -1},
      {"empty INTEGER", "30 02 02 00", 0, 0, -1},
      {"no INTEGER after the BOOLEAN", "30 05 01 01 ff 04 00", 0, 1, -1},
      {"negative length", "30 03 02 01 ff", 0, 0, -1},
      {"negative four-octet length", "30 06 02 04 ff ff ff ff", 0, 0, -1},
      {"length beyond 31 bits", "30 07 02 05 01 00 00 00 05", 1, 0, 2147483647},
      {"length with sign octet", "30 07 02 05 00 80 00 00 00", 1, 0, 2147483647},
      {"not a SEQUENCE", "31 00", 0, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CountedPtr<X509Extension> generic = Generic(kBasicConstraintsOid, c.value);
    ASSERT_FALSE(generic.IsEmpty());
    BasicConstraintsExtension typed(*generic);
    EXPECT_EQ(typed.IsCA(), 0);
    EXPECT_EQ(typed.GetPathLenConstraint(), -1);
    EXPECT_EQ(typed.Decode(), c.result);
    EXPECT_EQ(typed.IsCA(), c.ca);
    EXPECT_EQ(typed.GetPathLenConstraint(), c.path);
  }
}

TEST(KeyUsageTest, Encodings) {
  const struct {
    const char* value;
    int result;
    uint16_t bits;
  } cases[] = {
      {"03 02 01 06", 1, 0x0600},
      {"03 03 07 80 80", 1, 0x8080},
      {"03 03 07 80 01", 0, 0x8001},
      {"03 01 00", 1, 0},
      {"03 01 01", 0, 0},
      {"03 02 08 80", 0, 0},
      {"03 04 07 80 00 00", 0, 0},
      {"03 02 07 80", 1, 0x8000},
      {"04 02 01 06", 0, 0},
      {"03 00", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    CountedPtr<X509Extension> generic = Generic("55 1d 0f", c.value);
    ASSERT_FALSE(generic.IsEmpty());
    KeyUsageExtension typed(*generic);
    EXPECT_STREQ(typed.GetOid().GetText(), "2.5.29.15");
    EXPECT_EQ(typed.Decode(), c.result);
    EXPECT_EQ(typed.GetBits(), c.bits);
  }
}

TEST(KeyIdentifierTest, SubjectAndAuthority) {
  ByteArray key;
  {
    SubjectKeyIdentifierExtension ski(*Generic("55 1d 0e", "04 03 01 02 03"));
    EXPECT_EQ(ski.GetStatus(), kKeyIdentifierPresent);
    ASSERT_EQ(ski.GetKeyIdentifier(key), 1);
    EXPECT_EQ(ToHex(key.AsSpan()), "010203");
  }
  {
    SubjectKeyIdentifierExtension ski(*Generic("55 1d 0e", "30 00"));
    EXPECT_EQ(ski.GetStatus(), kKeyIdentifierInvalid);
    EXPECT_EQ(ski.GetKeyIdentifier(key), 0);
  }
  {
    // The right shape under another OID is still refused.
    SubjectKeyIdentifierExtension ski(*Generic("55 1d 23", "04 01 aa"));
    EXPECT_EQ(ski.GetStatus(), kKeyIdentifierInvalid | kKeyIdentifierPresent);
    EXPECT_EQ(ski.GetKeyIdentifier(key), 0);
  }
  const struct {
    const char* value;
    int found;
    const char* key;
  } authority[] = {
      {"30 05 80 03 aa bb cc", 1, "aabbcc"},
      {"30 0a 80 01 01 a1 02 30 00 80 01 02", 1, "02"},  // the last [0] wins
      {"30 05 81 03 aa bb cc", 0, ""},
      {"30 00", 0, ""},
      {"04 01 aa", 0, ""},
  };
  for (const auto& c : authority) {
    SCOPED_TRACE(c.value);
    AuthorityKeyIdentifierExtension aki(*Generic("55 1d 23", c.value));
    ByteArray out;
    EXPECT_EQ(aki.GetKeyIdentifier(out), c.found);
    EXPECT_EQ(ToHex(out.AsSpan()), c.key);
  }
}

TEST(CrlDistributionPointsTest, FullNamesOnly) {
  const std::string uri = Tlv(0x86, "http://crl.example/a.crl");
  const std::string uri2 = Tlv(0x86, "http://crl.example/b.crl");
  const std::string full = Tlv(0xA0, Tlv(0xA0, uri + uri2));
  const std::string directory = Tlv(0xA0, Tlv(0xA0, Tlv(0xA4, Unhex("30 00"))));
  const std::string relative = Tlv(0xA0, Tlv(0xA1, Unhex("31 00")));
  const std::string reasons = Tlv(0x81, Unhex("05 60"));
  const struct {
    const char* name;
    std::string value;
    int decoded;
    int64_t points;
  } cases[] = {
      {"one point, two names", Tlv(0x30, Tlv(0x30, full)), 1, 1},
      {"two points", Tlv(0x30, Tlv(0x30, full) + Tlv(0x30, full + reasons)), 1, 2},
      {"empty list", Tlv(0x30, ""), 1, 0},
      {"directoryName only", Tlv(0x30, Tlv(0x30, directory)), 0, 1},
      {"reasons only", Tlv(0x30, Tlv(0x30, reasons)), 0, 1},
      {"relative name", Tlv(0x30, Tlv(0x30, relative)), 0, 1},
      {"second point fails", Tlv(0x30, Tlv(0x30, full) + Tlv(0x30, directory)), 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CountedPtr<X509Extension> generic =
        Generic("55 1d 1f", ToHex(upd::test::BytesOf(c.value).AsSpan()));
    ASSERT_FALSE(generic.IsEmpty());
    CRLDistributionPointsExtension typed(*generic);
    EXPECT_EQ(typed.IsDecoded(), c.decoded == 1);
    ASSERT_EQ(typed.GetCount(), c.points);
    if (c.points > 0 && c.decoded) {
      const DistributionPoint* point = typed.GetAt(0);
      ASSERT_NE(point, nullptr);
      ASSERT_EQ(point->GetCount(), 2);
      EXPECT_STREQ(point->GetAt(1)->GetText(), "http://crl.example/b.crl");
      EXPECT_EQ(point->GetAt(0)->GetType(), GeneralName::kUri);
    }
    if (!c.decoded) {
      EXPECT_EQ(typed.GetAt(c.points - 1), nullptr);
    }
  }
}

}  // namespace
