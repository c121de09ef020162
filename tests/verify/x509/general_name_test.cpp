#include "verify/x509/general_name.h"

#include <gtest/gtest.h>

#include <string>

#include "support/der_testing.h"
#include "verify/x509/dns_pattern.h"

namespace {

using upd::test::Hex;

TEST(GeneralNameTest, DecodesTheTextForms) {
  const struct {
    const char* name;
    const char* hex;
    int result;
    int32_t type;
    const char* text;
  } cases[] = {
      {"rfc822Name", "81 05 61 40 62 2e 63", 1, GeneralName::kRfc822Name, "a@b.c"},
      {"dNSName", "82 03 61 2e 62", 1, GeneralName::kDnsName, "a.b"},
      {"URI", "86 04 68 74 74 70", 1, GeneralName::kUri, "http"},
      {"IPv4", "87 04 c0 a8 01 01", 1, GeneralName::kIpAddress, "192.168.1.1"},
      {"IPv6 loopback", "87 10 00000000000000000000000000000001", 1, GeneralName::kIpAddress,
       "0000:0000:0000:0000:0000:0000:0000:0001"},
      {"IPv6 groups", "87 10 20010db8abcdef0000000000000000ff", 1, GeneralName::kIpAddress,
       "2001:0db8:abcd:ef00:0000:0000:0000:00ff"},
      {"IPv4 with mask length", "87 08 c0 a8 01 00 ff ff ff 00", 0, GeneralName::kIpAddress,
       nullptr},
      {"empty dNSName", "82 00", 0, GeneralName::kDnsName, nullptr},
      {"NUL inside a dNSName", "82 07 61 2e 62 00 2e 65 76", 0, GeneralName::kDnsName, nullptr},
      {"directoryName", "a4 02 30 00", 0, GeneralName::kNone, nullptr},
      {"otherName", "a0 03 06 01 2a", 0, GeneralName::kNone, nullptr},
      {"registeredID", "88 01 2a", 0, GeneralName::kNone, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CountedPtr<ASN1> node = ASN1::Parse(Hex(c.hex), true);
    ASSERT_FALSE(node.IsEmpty());
    GeneralName name;
    EXPECT_EQ(name.Decode(*node), c.result);
    EXPECT_EQ(name.GetType(), c.type);
    if (c.text != nullptr) {
      EXPECT_STREQ(name.GetText(), c.text);
    } else {
      EXPECT_EQ(name.GetText(), nullptr);
    }
  }
}

TEST(GeneralNameTest, MatchesByType) {
  GeneralName dns;
  ASSERT_EQ(dns.Decode(*ASN1::Parse(upd::test::BytesOf(std::string("\x82\x07*.bb.cc")), true)), 1);
  EXPECT_EQ(dns.Matches("aa.bb.cc"), 1);
  EXPECT_EQ(dns.Matches("*.bb.cc"), 1);  // a pattern is not compared as text
  EXPECT_EQ(dns.Matches("bb.cc"), 0);
  EXPECT_EQ(dns.Matches(nullptr), 0);
  GeneralName uri;
  ASSERT_EQ(uri.Decode(*ASN1::Parse(upd::test::BytesOf(std::string("\x86\x07*.bb.cc")), true)), 1);
  EXPECT_EQ(uri.Matches("*.bb.cc"), 1);
  EXPECT_EQ(uri.Matches("aa.bb.cc"), 0);
  GeneralName none;
  EXPECT_EQ(none.Matches("x"), 0);
}

TEST(DistributionPointTest, AddNamesStopsAtTheFirstBadName) {
  DistributionPoint point;
  CountedPtr<ASN1> empty = ASN1::Parse(Hex("a0 00"), true);
  EXPECT_EQ(point.AddNames(*empty), 0);
  CountedPtr<ASN1> odd = ASN1::Parse(Hex("a0 01 05"), true);
  EXPECT_EQ(point.AddNames(*odd), 1);
  EXPECT_EQ(point.GetCount(), 0);
  CountedPtr<ASN1> names = ASN1::Parse(Hex("a0 0c 82 03 61 2e 62 88 01 2a 82 02 62 2e"), false);
  EXPECT_EQ(point.AddNames(*names), 0);
  ASSERT_EQ(point.GetCount(), 1);
  EXPECT_STREQ(point.GetAt(0)->GetText(), "a.b");
}

TEST(DnsPatternTest, Validity) {
  const struct {
    const char* pattern;
    int valid;
  } cases[] = {
      {"a.b", 1},     {"www.example.org", 1},
      {"*.bb.cc", 1}, {"*.a.b.c", 1},
      {"a", 0},       {"", 0},
      {".a.b", 0},    {"a.b.", 0},
      {"a..b", 0},    {"*.cc", 0},
      {"*..b.c", 0},  {"*a.b.c", 0},
      {"a*.b.c", 0},  {"*.b.*.c", 0},
      {"*", 0},       {"*.", 0},
      {"a.*", 0},     {"a.b..", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidDnsPattern(c.pattern), c.valid) << c.pattern;
  EXPECT_EQ(IsValidDnsPattern(nullptr), 0);
}

TEST(DnsPatternTest, Matching) {
  const struct {
    const char* host;
    const char* pattern;
    int match;
  } cases[] = {
      {"aa.bb.cc", "*.bb.cc", 1},
      {"bb.cc", "*.bb.cc", 0},
      {"xx.aa.bb.cc", "*.bb.cc", 0},
      {"AA.BB.CC", "*.bb.cc", 0},
      {"a.bb.cc", "*.bb.cc", 1},
      {".bb.cc", "*.bb.cc", 0},
      {"aa.bb.cc.", "*.bb.cc", 0},
      {"aa.bb.c", "*.bb.cc", 0},
      {"aa", "*.bb.cc", 0},
      {"aa.bb.cc", "*.cc", 0},
      {"www.example.org", "www.example.org", 1},
      {"www.example.or", "www.example.org", 0},
      {"www.example.orgx", "www.example.org", 0},
      {"localhost", "localhost", 0},
      {"", "a.b", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchDnsPattern(c.host, c.pattern), c.match) << c.host << " ~ " << c.pattern;
  }
  EXPECT_EQ(MatchDnsPattern(nullptr, "a.b"), 0);
  EXPECT_EQ(MatchDnsPattern("a.b", nullptr), 0);
}

}  // namespace
