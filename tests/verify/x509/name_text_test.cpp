#include "verify/x509/name_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/ctl_fixture.h"
#include "support/der_testing.h"
#include "verify/asn1/asn1.h"
#include "verify/x509/signer_match.h"
#include "verify/x509/x509_certificate.h"

namespace {

using upd::test::Unhex;

std::string Tlv(uint8_t tag, const std::string& value) {
  std::string out(1, static_cast<char>(tag));
  if (value.size() < 0x80) {
    out.push_back(static_cast<char>(value.size()));
  } else {
    out.push_back(static_cast<char>(0x82));
    out.push_back(static_cast<char>(value.size() >> 8));
    out.push_back(static_cast<char>(value.size() & 0xFF));
  }
  return out + value;
}

constexpr uint8_t kUtf8 = 12;
constexpr uint8_t kPrintable = 19;
constexpr uint8_t kTeletex = 20;
constexpr uint8_t kBmp = 30;
const std::string kCN = Unhex("550403");
const std::string kO = Unhex("55040a");
const std::string kOU = Unhex("55040b");
const std::string kDC = Unhex("0992268993f22c640119");
const std::string kEmail = Unhex("2a864886f70d010901");
const std::string kOrgId = Unhex("550441");  // 2.5.4.65, not in the table

std::string Atv(const std::string& oid, uint8_t tag, const std::string& value) {
  return Tlv(0x30, Tlv(0x06, oid) + Tlv(tag, value));
}
std::string Rdn(const std::string& atvs) { return Tlv(0x31, atvs); }
std::string Name(const std::vector<std::string>& rdns) {
  std::string body;
  for (const std::string& r : rdns) body += r;
  return Tlv(0x30, body);
}
std::string Cn(const std::string& v, uint8_t tag = kUtf8) { return Rdn(Atv(kCN, tag, v)); }

CountedPtr<ASN1> Node(const std::string& der) { return ASN1::Parse(upd::test::BytesOf(der), true); }

std::wstring Text(const std::string& der, bool reverse = false) {
  CountedPtr<ASN1> node = Node(der);
  if (node.IsEmpty()) return L"<parse>";
  wchar_t buffer[512];
  if (!NameToText(*node, buffer, 512, reverse)) return L"<fail>";
  return buffer;
}

TEST(NameToTextTest, Forms) {
  struct Case {
    const char* name;
    std::string der;
    std::wstring want;
  } cases[] = {
      {"two RDNs", Name({Cn("Alice"), Rdn(Atv(kO, kPrintable, "Example"))}),
       L"CN=Alice, O=Example"},
      {"comma quoted", Name({Cn("Doe, John")}), L"CN=\"Doe, John\""},
      {"plus quoted", Name({Cn("a+b")}), L"CN=\"a+b\""},
      {"quote mark quoted, not escaped", Name({Cn("say \"hi\"")}), L"CN=\"say \"hi\"\""},
      {"backslash quoted", Name({Cn("a\\b")}), L"CN=\"a\\b\""},
      {"angle brackets quoted", Name({Cn("<x>")}), L"CN=\"<x>\""},
      {"semicolon quoted", Name({Cn("a;b")}), L"CN=\"a;b\""},
      {"leading space quoted", Name({Cn(" a")}), L"CN=\" a\""},
      {"trailing space quoted", Name({Cn("a ")}), L"CN=\"a \""},
      {"inner space plain", Name({Cn("a b")}), L"CN=a b"},
      {"empty value", Name({Cn("")}), L"CN=\"\""},
      {"UTF-8",
       Name({Cn("\xc5\xbd"
                "ilina")}),
       L"CN=\x017dilina"},
      {"BMP", Name({Cn(Unhex("00410062"), kBmp)}), L"CN=Ab"},
      {"BMP never quoted", Name({Cn(Unhex("0061002c0062"), kBmp)}), L"CN=a,b"},
      {"BMP odd byte ignored", Name({Cn(Unhex("004100"), kBmp)}), L"CN=A"},
      {"BMP empty", Name({Cn("", kBmp)}), L"CN="},
      {"Teletex", Name({Cn("Tel", kTeletex)}), L"CN=Tel"},
      {"multi-valued RDN", Name({Rdn(Atv(kCN, kUtf8, "a") + Atv(kOU, kUtf8, "b"))}), L"CN=a, OU=b"},
      {"unknown OID", Name({Rdn(Atv(kOrgId, kUtf8, "x"))}), L"OID.Unknown=x"},
      {"table names", Name({Rdn(Atv(kDC, kUtf8, "com")), Rdn(Atv(kEmail, 22, "a@b"))}),
       L"DC=com, E=a@b"},
      {"short element skipped", Name({Rdn(Tlv(0x30, Tlv(0x06, kCN)) + Atv(kO, kUtf8, "o"))}),
       L"O=o"},
      {"no RDNs", Name({}), L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Text(c.der), c.want);
  }
}

TEST(NameToTextTest, ReverseOrder) {
  const std::string der =
      Name({Rdn(Atv(kDC, kUtf8, "com")), Rdn(Atv(kDC, kUtf8, "example")), Cn("host")});
  EXPECT_EQ(Text(der), L"DC=com, DC=example, CN=host");
  EXPECT_EQ(Text(der, true), L"CN=host, DC=example, DC=com");
}

TEST(NameToTextTest, CapacityCountsTheTerminator) {
  CountedPtr<ASN1> node = Node(Name({Cn("Alice"), Cn("Bob")}));  // "CN=Alice, CN=Bob": 16
  ASSERT_FALSE(node.IsEmpty());
  wchar_t buffer[32];
  EXPECT_TRUE(NameToText(*node, buffer, 17, false));
  EXPECT_STREQ(buffer, L"CN=Alice, CN=Bob");
  EXPECT_FALSE(NameToText(*node, buffer, 16, false));
  // Each piece is appended on its own; what fitted stays, up to the value
  // that did not.
  EXPECT_STREQ(buffer, L"CN=Alice, CN=");
}

TEST(NameToTextTest, AllocGrowsAndStopsAt4096) {
  std::unique_ptr<wchar_t[]> text;
  CountedPtr<ASN1> small = Node(Name({Cn("Alice")}));
  ASSERT_TRUE(NameToTextAlloc(*small, text, false));
  EXPECT_STREQ(text.get(), L"CN=Alice");

  const std::string mid(1000, 'm');  // needs the 2048 attempt
  CountedPtr<ASN1> medium = Node(Name({Cn(mid)}));
  ASSERT_TRUE(NameToTextAlloc(*medium, text, false));
  EXPECT_EQ(std::wcslen(text.get()), 1003u);

  // Five RDNs of 1,000 characters never fit: the 4096 attempt keeps four,
  // the separator and the fifth's "CN=".
  std::vector<std::string> rdns(5, Cn(mid));
  CountedPtr<ASN1> huge = Node(Name(rdns));
  ASSERT_TRUE(NameToTextAlloc(*huge, text, false));
  EXPECT_EQ(std::wcslen(text.get()), 4 * 1003u + 4 * 2u + 3u);
}

struct Requirement {
  std::vector<std::wstring> names;
  std::vector<std::wstring> values;
  std::vector<NameRequirement> entries;
  NameRequirementList list{};
  Requirement(std::initializer_list<std::pair<std::wstring, std::wstring>> pairs) {
    for (const auto& p : pairs) {
      names.push_back(p.first);
      values.push_back(p.second);
    }
    for (size_t i = 0; i < names.size(); ++i) {
      entries.push_back({names[i].c_str(), values[i].c_str()});
    }
    list = {static_cast<uint32_t>(entries.size()), entries.data()};
  }
};

TEST(DistinguishedNameCompareTest, Levels) {
  const std::string alice = Name({Cn("Alice"), Rdn(Atv(kO, kPrintable, "Example"))});
  const std::string alice_ou =
      Name({Cn("Alice"), Rdn(Atv(kO, kPrintable, "Example")), Rdn(Atv(kOU, kUtf8, "Dev"))});
  const std::string two_cns = Name({Cn("Alice"), Cn("Bob")});
  struct Case {
    const char* name;
    std::string der;
    Requirement requirement;
    uint32_t want;
  } cases[] = {
      {"exact", alice, {{L"CN", L"Alice"}, {L"O", L"Example"}}, kNameExactMatch},
      {"one more RDN", alice_ou, {{L"CN", L"Alice"}, {L"O", L"Example"}}, kNameMatchWithMore},
      {"value differs", alice, {{L"CN", L"Alice"}, {L"O", L"Other"}}, kNameMismatch},
      {"case matters in values", alice, {{L"CN", L"alice"}, {L"O", L"Example"}}, kNameMismatch},
      {"case matters in names", alice, {{L"cn", L"Alice"}, {L"O", L"Example"}}, kNameMismatch},
      {"required attribute absent", alice, {{L"CN", L"Alice"}, {L"OU", L"Dev"}}, kNameMismatch},
      {"later CN decides: Bob", two_cns, {{L"CN", L"Bob"}}, kNameExactMatch},
      {"later CN decides: Alice", two_cns, {{L"CN", L"Alice"}}, kNameMismatch},
      {"empty list", alice, {}, kNameNothingToCompare},
      {"dotted OID name",
       Name({Rdn(Atv(kOrgId, kUtf8, "x"))}),
       {{L"2.5.4.65", L"x"}},
       kNameExactMatch},
      {"comma compared unquoted",
       Name({Cn("Doe, John")}),
       {{L"CN", L"Doe, John"}},
       kNameExactMatch},
      {"only the first element of an RDN",
       Name({Rdn(Atv(kCN, kUtf8, "a") + Atv(kO, kUtf8, "b"))}),
       {{L"CN", L"a"}, {L"O", L"b"}},
       kNameMismatch},
      {"name without RDNs", Name({}), {{L"CN", L"a"}}, kNameNothingToCompare},
      {"element with one child",
       Name({Rdn(Tlv(0x30, Tlv(0x06, kCN)))}),
       {{L"CN", L"a"}},
       kNameMalformed},
      {"value over 511 characters",
       Name({Cn(std::string(600, 'v'))}),
       {{L"CN", L"a"}},
       kNameMalformed},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountedPtr<ASN1> node = Node(c.der);
    ASSERT_FALSE(node.IsEmpty());
    EXPECT_EQ(DistinguishedNameCompare(*node, &c.requirement.list), c.want);
  }
  CountedPtr<ASN1> node = Node(alice);
  EXPECT_EQ(DistinguishedNameCompare(*node, nullptr), kNameNothingToCompare);
}

// The fixture server certificate's subject as openssl req writes it.
TEST(MatchSignerTest, Kinds) {
  CountedPtr<X509Certificate> server =
      X509Certificate::FromBytes(upd::test::CtlPki::Get().Der("server"));
  ASSERT_FALSE(server.IsEmpty());
  const std::string subject = Name({Cn("server.test"), Rdn(Atv(kO, kUtf8, "Wexa Test PKI"))});
  const std::string other = Name({Cn("other.test"), Rdn(Atv(kO, kUtf8, "Wexa Test PKI"))});
  const SignerDerName der_names[] = {
      {reinterpret_cast<const uint8_t*>(other.data()), other.size()},
      {reinterpret_cast<const uint8_t*>(subject.data()), subject.size()},
  };
  const SignerDerNameList listed{2, der_names};
  const SignerDerNameList only_other{1, der_names};
  const SignerDerNameList none{0, der_names};
  Requirement both{{L"CN", L"server.test"}, {L"O", L"Wexa Test PKI"}};
  Requirement cn_only{{L"CN", L"server.test"}};
  Requirement wrong{{L"CN", L"other.test"}};
  Requirement empty{};
  struct Case {
    const char* name;
    SignerRequirement requirement;
    uint32_t want;
  } cases[] = {
      {"DER listed", {kSignerDerNames, &listed}, kSignerMatch},
      {"DER not listed", {kSignerDerNames, &only_other}, kSignerMismatch},
      {"DER list empty", {kSignerDerNames, &none}, kSignerMismatch},
      {"exact names", {kSignerNamesExact, &both.list}, kSignerMatch},
      {"exact needs every attribute", {kSignerNamesExact, &cn_only.list}, kSignerMismatch},
      {"at least", {kSignerNamesAtLeast, &cn_only.list}, kSignerMatch},
      {"at least, wrong value", {kSignerNamesAtLeast, &wrong.list}, kSignerMismatch},
      {"exact, empty list", {kSignerNamesExact, &empty.list}, kSignerMismatch},
      {"at least, empty list", {kSignerNamesAtLeast, &empty.list}, kSignerMismatch},
      {"unknown kind", {9, &both.list}, kSignerMismatch},
      {"no data", {kSignerNamesExact, nullptr}, kSignerBadArgument},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MatchSigner(*server, &c.requirement), c.want);
  }
  EXPECT_EQ(MatchSigner(*server, nullptr), kSignerBadArgument);
}

}  // namespace
