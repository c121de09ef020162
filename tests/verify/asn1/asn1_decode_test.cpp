#include <gtest/gtest.h>
#include <pthread.h>

#include <map>
#include <string>
#include <vector>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/asn1/asn1.h"

namespace {

using upd::test::DumpAsn1Parse;
using upd::test::DumpTree;
using upd::test::Hex;
using upd::test::ToHex;

struct LoadCase {
  const char* name;
  const char* hex;
  int expected;
  int64_t value_length;
  int64_t children;
};

TEST(Asn1LoadTest, LengthForms) {
  const LoadCase cases[] = {
      {"short form", "04 02 aa bb", 1, 2, 0},
      {"non-minimal one-octet long form", "04 81 02 aa bb", 1, 2, 0},
      {"non-minimal four-octet long form", "04 84 00 00 00 02 aa bb", 1, 2, 0},
      {"four octets above 0x7FFFFFFF", "02 84 80 00 00 00 01", 0, 0, 0},
      {"five length octets", "02 85 00 00 00 00 01 01", 0, 0, 0},
      {"length octets missing", "02 82 01", 0, 0, 0},
      {"content past the end", "04 03 aa bb", 0, 0, 0},
      {"one octet only", "30", 0, 0, 0},
      {"empty sequence", "30 00", 1, 0, 0},
      {"single octet left is ignored", "30 01 05", 1, 1, 0},
      {"child running past its parent", "30 03 02 02 05", 0, 0, 0},
      {"child length octets refused", "30 04 02 85 00 00", 0, 0, 0},
      {"definite value cut by 00 00", "30 07 02 01 05 00 00 02 00", 1, 7, 2},
      {"indefinite without end", "30 80 02 01 05", 0, 0, 0},
      {"indefinite nested without end", "30 80 30 80 00 00", 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASN1 node;
    EXPECT_EQ(node.Load(Hex(c.hex), true), c.expected);
    if (c.expected != 1) continue;
    EXPECT_EQ(node.GetValueLength(), c.value_length);
    EXPECT_EQ(node.GetChildCount(), c.children);
    EXPECT_NE(node.GetFlags() & ASN1::kFlagDecoded, 0);
  }
}

TEST(Asn1LoadTest, LongLengthsOverRealContent) {
  std::string content(300, 'x');
  ASN1 node;
  ASSERT_EQ(node.Load(upd::test::BytesOf(upd::test::Unhex("04 82 01 2c") + content), true), 1);
  EXPECT_EQ(node.GetValueLength(), 300);
  ASSERT_EQ(node.Load(upd::test::BytesOf(upd::test::Unhex("04 82 01 2d") + content), true), 0);
}

TEST(Asn1LoadTest, IndefiniteFormKeepsItsEndMarker) {
  CountedPtr<ASN1> root = ASN1::Parse(Hex("30 80 02 01 05 00 00"), true);
  ASSERT_FALSE(root.IsEmpty());
  EXPECT_NE(root->GetFlags() & ASN1::kFlagIndefinite, 0);
  EXPECT_EQ(ToHex(root->Value().AsSpan()), "0201050000");
  ASSERT_EQ(root->GetChildCount(), 2);
  EXPECT_EQ(root->GetChild(0)->GetTag(), 0x02);
  EXPECT_FALSE(root->GetChild(1)->IsValid());
  EXPECT_EQ(ToHex(root->GetChild(1)->Encoding().AsSpan()), "0000");

  // Adding a child makes the node re-encode itself: still indefinite, the
  // old end marker first (a reader stops there).
  ASSERT_EQ(root->AddChild(ASN1(0x02, Hex("07"))), 1);
  EXPECT_EQ(ToHex(root->GetEncoded().AsSpan()),
            "308002010500000201"
            "07");
  EXPECT_EQ(root->GetFlags() & ASN1::kFlagStale, 0);
  CountedPtr<ASN1> again = ASN1::Parse(root->GetEncoded(), true);
  ASSERT_FALSE(again.IsEmpty());
  EXPECT_EQ(again->GetChildCount(), 2);
}

TEST(Asn1LoadTest, NestedIndefiniteChildrenAreDecodedEvenLazily) {
  CountedPtr<ASN1> root =
      ASN1::Parse(Hex("30 80 31 80 04 01 aa 00 00 30 03 02 01 01 00 00"), false);
  ASSERT_FALSE(root.IsEmpty());
  ASSERT_EQ(root->GetChildCount(), 3);
  const ASN1* set = root->GetChild(0);
  EXPECT_NE(set->GetFlags() & ASN1::kFlagDecoded, 0);
  EXPECT_EQ(set->GetChildCount(), 2);
  ASN1* definite = root->GetChild(1);
  EXPECT_EQ(definite->GetFlags() & ASN1::kFlagDecoded, 0);
  EXPECT_EQ(definite->GetChildCount(), 0);
  ASSERT_EQ(definite->EnsureDecoded(false), 1);
  EXPECT_EQ(definite->GetChildCount(), 1);
}

TEST(Asn1LoadTest, RootKeepsTrailingOctetsInItsEncoding) {
  CountedPtr<ASN1> root = ASN1::Parse(Hex("30 03 02 01 05 ff"), true);
  ASSERT_FALSE(root.IsEmpty());
  EXPECT_EQ(ToHex(root->GetEncoded().AsSpan()),
            "300302010"
            "5ff");
  EXPECT_EQ(ToHex(root->GetChild(0)->Encoding().AsSpan()), "020105");
  EXPECT_EQ(root->GetEncodedLength(true), 5);
  ByteStorage out;
  ASSERT_EQ(ASN1::Encode(*root, out), 1);
  EXPECT_EQ(out.GetSize(), 6);
}

TEST(Asn1LoadTest, LazyChildrenDecodeOnRequest) {
  CountedPtr<ASN1> root = ASN1::Parse(Hex("30 08 30 06 30 04 02 02 01 00"), false);
  ASSERT_FALSE(root.IsEmpty());
  ASSERT_EQ(root->GetChildCount(), 1);
  ASN1* inner = root->GetChild(0);
  EXPECT_EQ(inner->GetChildCount(), 0);
  ASSERT_EQ(inner->EnsureDecoded(true), 1);
  ASSERT_EQ(inner->GetChildCount(), 1);
  ASSERT_EQ(inner->GetChild(0)->GetChildCount(), 1);
  EXPECT_EQ(inner->GetChildIfTag(0, 0x30), inner->GetChild(0));
  EXPECT_EQ(inner->GetChildIfTag(0, 0x31), nullptr);
  EXPECT_EQ(inner->GetChildIfTag(1, 0x30), nullptr);
  // A malformed grandchild surfaces only when it is decoded.
  CountedPtr<ASN1> bad = ASN1::Parse(Hex("30 04 30 02 02 05"), false);
  ASSERT_FALSE(bad.IsEmpty());
  EXPECT_EQ(bad->GetChild(0)->EnsureDecoded(true), 0);
  EXPECT_TRUE(ASN1::Parse(Hex("30 04 30 02 02 05"), true).IsEmpty());
}

// Nested SEQUENCEs, innermost either empty or holding an INTEGER.
std::string Nested(int levels, bool payload, bool indefinite) {
  std::string inner = payload ? upd::test::Unhex("02 01 05") : "";
  if (indefinite) {
    std::string out;
    for (int i = 0; i < levels; ++i) out += upd::test::Unhex("30 80");
    out += inner;
    for (int i = 0; i < levels; ++i) out += std::string(2, '\0');
    return out;
  }
  for (int i = 0; i < levels; ++i) {
    const size_t n = inner.size();
    std::string header = "\x30";
    if (n < 0x80) {
      header += static_cast<char>(n);
    } else {
      header += "\x82";
      header += static_cast<char>(n >> 8);
      header += static_cast<char>(n & 0xFF);
    }
    inner = header + inner;
  }
  return inner;
}

struct DepthJob {
  std::string der;
  bool decode_all;
  int parsed;
};

void* RunDepthJob(void* arg) {
  auto* job = static_cast<DepthJob*>(arg);
  CountedPtr<ASN1> root = ASN1::Parse(upd::test::BytesOf(job->der), job->decode_all);
  job->parsed = root.IsEmpty() ? 0 : 1;
  if (root.IsEmpty()) return nullptr;
  // A deep copy must not recurse per level either.
  ASN1 copy;
  if (!copy.CopyFrom(*root) || copy.Equals(*root) != 1) job->parsed = -2;
  return nullptr;
}

// Parses, copies and destroys the tree on a thread with a small stack: none
// of these may recurse per level.
int ParseOnSmallStack(const std::string& der, bool decode_all) {
  constexpr size_t kSmallStack = 64 * 1024;
  DepthJob job{der, decode_all, -1};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kSmallStack);
  pthread_t thread;
  if (pthread_create(&thread, &attr, RunDepthJob, &job) != 0) return -1;
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  return job.parsed;
}

TEST(Asn1DepthTest, OneThousandTwentyFourLevelsAndNoMore) {
  const struct {
    const char* name;
    int levels;
    bool payload;
    bool indefinite;
    bool decode_all;
    int expected;
  } cases[] = {
      {"1024 empty", 1024, false, false, true, 1},
      {"1025 empty", 1025, false, false, true, 0},
      {"1024 with payload", 1024, true, false, true, 1},
      {"1025 with payload", 1025, true, false, true, 0},
      {"1025 lazily (one level decoded)", 1025, true, false, false, 1},
      {"1024 indefinite", 1024, true, true, false, 1},
      {"1025 indefinite, even lazily", 1025, true, true, false, 0},
      {"1025 indefinite", 1025, false, true, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string der = Nested(c.levels, c.payload, c.indefinite);
    EXPECT_EQ(ParseOnSmallStack(der, c.decode_all), c.expected);
  }
}

TEST(Asn1DepthTest, LazyLevelsRestartTheCount) {
  CountedPtr<ASN1> root = ASN1::Parse(upd::test::BytesOf(Nested(1500, true, false)), false);
  ASSERT_FALSE(root.IsEmpty());
  ASN1* node = root.Get();
  for (int level = 0; level < 1499; ++level) {
    ASSERT_EQ(node->EnsureDecoded(false), 1) << level;
    ASSERT_EQ(node->GetChildCount(), 1) << level;
    node = node->GetChild(0);
  }
  ASSERT_EQ(node->EnsureDecoded(false), 1);
  EXPECT_EQ(node->GetChild(0)->GetTag(), 0x02);
}

TEST(Asn1HostileTest, MegabyteOfNestedIndefiniteHeadersIsRefused) {
  constexpr int kPairs = 512 * 1024;  // 1 MiB of "30 80"
  const std::string open = Nested(kPairs, false, true).substr(0, 2 * kPairs);
  EXPECT_TRUE(ASN1::Parse(upd::test::BytesOf(open), true).IsEmpty());
  // Closed as well: the end search must not be repeated per level.
  const std::string closed = Nested(kPairs / 2, false, true);
  EXPECT_TRUE(ASN1::Parse(upd::test::BytesOf(closed), true).IsEmpty());
  EXPECT_TRUE(ASN1::Parse(upd::test::BytesOf(closed), false).IsEmpty());
  int64_t position = 2;
  const ByteArray bytes = upd::test::BytesOf(closed);
  ASSERT_EQ(ASN1::FindEndOfContents(bytes.AsSpan(), position, true), 1);
  EXPECT_EQ(position, static_cast<int64_t>(closed.size()));
}

TEST(Asn1HostileTest, ManyIndefiniteSiblingsDecode) {
  // Wide rather than deep: every sibling's end is searched once.
  std::string content;
  for (int i = 0; i < 20000; ++i) content += upd::test::Unhex("30 80 30 80 04 00 00 00 00 00");
  const std::string der = upd::test::Unhex("30 80") + content + std::string(2, '\0');
  CountedPtr<ASN1> root = ASN1::Parse(upd::test::BytesOf(der), true);
  ASSERT_FALSE(root.IsEmpty());
  EXPECT_EQ(root->GetChildCount(), 20001);
  EXPECT_EQ(root->GetChild(19999)->GetChild(0)->GetChildCount(), 2);
}

TEST(Asn1DecodeLengthTest, ReportsFormAndSize) {
  int64_t length = 0;
  int octets = 0;
  bool indefinite = false;
  const ByteArray long_form = Hex("83 01 00 00");
  ASSERT_EQ(ASN1::DecodeLength(long_form.AsSpan(), length, octets, indefinite), 1);
  EXPECT_EQ(length, 0x10000);
  EXPECT_EQ(octets, 4);
  EXPECT_FALSE(indefinite);
  const ByteArray indefinite_form = Hex("80");
  ASSERT_EQ(ASN1::DecodeLength(indefinite_form.AsSpan(), length, octets, indefinite), 1);
  EXPECT_TRUE(indefinite);
  EXPECT_EQ(ASN1::DecodeLength({}, length, octets, indefinite), 0);
  int64_t position = 1;
  const ByteArray definite = Hex("01 02 03");
  ASSERT_EQ(ASN1::FindEndOfContents(definite.AsSpan(), position, false), 1);
  EXPECT_EQ(position, 3);
}

// Structures made by `openssl asn1parse -genconf`, decoded by both sides.
TEST(Asn1OracleTest, GenconfFixturesMatchOpenssl) {
  upd::test::TempDir dir;
  const std::string conf = dir.file("fixture.cnf");
  upd::test::WriteFile(conf, R"(asn1 = SEQUENCE:top
[top]
version = EXPLICIT:0,INTEGER:2
serial = INTEGER:0x0123456789ABCDEF0123
oid = OID:1.2.840.113549.1.1.11
when = UTCTIME:240229120000Z
later = GENTIME:99991231235959Z
flags = FORMAT:HEX,BITSTRING:0600
blob = FORMAT:HEX,OCTETSTRING:00112233
names = SET:names
tagged = IMPLICIT:2,IA5STRING:example.org
big = FORMAT:HEX,OCTETSTRING:)" + std::string(600, 'A') +
                                 R"(
empty = SEQUENCE:empty
[names]
a = UTF8String:first
b = PRINTABLESTRING:second
c = SEQUENCE:inner
[inner]
n = NULL
t = BOOLEAN:TRUE
[empty]
)");
  const std::string der = dir.file("fixture.der");
  ASSERT_EQ(
      upd::test::RunCommand("openssl asn1parse -genconf " + conf + " -out " + der + " > /dev/null"),
      0);
  std::string expected;
  ASSERT_EQ(upd::test::RunCommand("openssl asn1parse -inform DER -in " + der, &expected), 0);
  CountedPtr<ASN1> root = ASN1::Parse(upd::test::BytesOf(upd::test::ReadFile(der)), true);
  ASSERT_FALSE(root.IsEmpty());
  EXPECT_EQ(DumpTree(*root), DumpAsn1Parse(expected));
  EXPECT_EQ(root->GetEncodedLength(true), root->GetEncoded().GetLength());
}

TEST(Asn1OracleTest, PkitsCorpusParsesLikeOpenssl) {
  const auto certs = upd::test::PkitsFiles("certs", ".crt");
  const auto crls = upd::test::PkitsFiles("crls", ".crl");
  ASSERT_GT(certs.size(), 400u) << "python3-cryptography-vectors is missing";
  std::vector<std::string> files = certs;
  files.insert(files.end(), crls.begin(), crls.end());
  upd::test::TempDir dir;
  const std::string list = dir.file("list");
  std::string names;
  for (const auto& f : files) names += f + "\n";
  upd::test::WriteFile(list, names);
  std::string all;
  ASSERT_EQ(upd::test::RunCommand("while read -r f; do echo \"== $f\"; openssl asn1parse -inform "
                                  "DER -in \"$f\"; done < " +
                                      list,
                                  &all),
            0);
  std::map<std::string, std::string> openssl;
  size_t at = 0;
  while ((at = all.find("== ", at)) != std::string::npos) {
    const size_t name_end = all.find('\n', at);
    const size_t next = all.find("\n== ", name_end);
    openssl[all.substr(at + 3, name_end - at - 3)] =
        all.substr(name_end + 1, next == std::string::npos ? std::string::npos : next - name_end);
    at = name_end;
  }
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    const ByteArray bytes = upd::test::BytesOf(upd::test::ReadFile(f));
    CountedPtr<ASN1> root = ASN1::Parse(bytes, true);
    ASSERT_FALSE(root.IsEmpty());
    EXPECT_EQ(DumpTree(*root), DumpAsn1Parse(openssl[f]));
    EXPECT_EQ(root->GetEncodedLength(true), bytes.GetLength());
  }
}

}  // namespace
