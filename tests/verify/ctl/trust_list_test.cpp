#include "verify/ctl/trust_list.h"

#include <gtest/gtest.h>

#include <string>

#include "support/ctl_fixture.h"
#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/algorithms/hash_algorithm.h"

namespace {

using upd::test::CtlPki;
using upd::test::Hex;

// The [0] content field around the list's DER, as a signedData carries it.
ByteArray Field(const std::string& der) {
  std::string octets = "\x04";
  std::string field = "\xa0";
  auto length = [](size_t n) {
    if (n < 0x80) return std::string(1, static_cast<char>(n));
    return std::string{static_cast<char>(0x82), static_cast<char>(n >> 8),
                       static_cast<char>(n & 0xFF)};
  };
  octets += length(der.size()) + der;
  field += length(octets.size()) + octets;
  return upd::test::BytesOf(field);
}

TEST(CertificateTrustListTest, ReadsWhatAsn1parseMade) {
  CtlPki& pki = CtlPki::Get();
  upd::test::TempDir temp;
  struct Case {
    const char* options;
    uint32_t hash_id;
  } cases[] = {{"--hash sha1", kHashSHA1},
               {"--hash sha256", kHashSHA256},
               {"--hash sha384 --extensions", kHashSHA384},
               {"--hash sha512", kHashSHA512}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string der =
        upd::test::ReadFile(pki.Content(temp.file("ctl.der"), {"signer", "inter"}, c.options));
    CountedPtr<CertificateTrustList> list = CertificateTrustList::Create(Field(der));
    ASSERT_FALSE(list.IsEmpty());
    EXPECT_EQ(list->GetHashAlgorithm(), c.hash_id);
    ASSERT_EQ(list->GetSubjects().GetSize(), 2);
    // The subjects are the certificates' hashes in list order (hashlib made them).
    ByteArray want;
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(c.hash_id);
    const ByteArray signer = pki.Der("signer");
    const uint8_t* digest = ComputeHash(hash.Get(), signer.GetData(), 0, signer.GetLength());
    EXPECT_TRUE(list->GetSubjects()[0].Equals(hash->GetHashSize(), digest));
  }
  const std::string none =
      upd::test::ReadFile(pki.Content(temp.file("none.der"), {}, "--hash sha1 --no-subjects"));
  CountedPtr<CertificateTrustList> empty = CertificateTrustList::Create(Field(none));
  ASSERT_FALSE(empty.IsEmpty());
  EXPECT_EQ(empty->GetSubjects().GetSize(), 0);
}

// Hand-made lists: usage 30 00, time 17 0d ..., algorithm 30 07 06 05 2b0e03021a (SHA-1).
TEST(CertificateTrustListTest, Structure) {
  const std::string usage = "3000";
  const std::string time = "170d3236303130313030303030305a";
  const std::string sha1 = "300706052b0e03021a";
  const std::string subject = "30160414" + std::string(40, 'a');
  const std::string subjects = "3018" + subject;
  // Every hand-made body stays below 128 octets: one length octet.
  auto list = [](const std::string& body) {
    static const char kDigits[] = "0123456789abcdef";
    const size_t n = body.size() / 2;
    return std::string("30") + kDigits[(n >> 4) & 7] + kDigits[n & 15] + body;
  };
  struct Case {
    const char* name;
    std::string body;
    bool parses;
    int64_t subjects;
  } cases[] = {
      {"minimal", usage + time + sha1, true, 0},
      {"version, identifier, sequence number", "020101" + usage + "0401aa" + "020105" + time + sha1,
       true, 0},
      {"next update", usage + time + time + sha1 + subjects, true, 1},
      {"extensions only", usage + time + sha1 + "a000", true, 0},
      {"subjects then extensions", usage + time + sha1 + subjects + "a000", true, 1},
      {"no time", usage + sha1 + subjects, false, 0},
      {"no usage", time + sha1 + subjects, false, 0},
      {"unknown algorithm", usage + time + "3005060300aa01" + subjects, false, 0},
      {"trailing element", usage + time + sha1 + subjects + "0500", false, 0},
      {"hash of 19 bytes",
       usage + time + sha1 +
           "3017"
           "3015"
           "0413" +
           std::string(38, 'b'),
       false, 0},
      // trustedSubjects holding the OCTET STRING itself.
      {"subject not a SEQUENCE", usage + time + sha1 + "30160414" + std::string(40, 'c'), false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountedPtr<CertificateTrustList> parsed =
        CertificateTrustList::Create(Field(upd::test::Unhex(list(c.body))));
    ASSERT_EQ(!parsed.IsEmpty(), c.parses);
    if (c.parses) {
      EXPECT_EQ(parsed->GetSubjects().GetSize(), c.subjects);
    }
  }
  // The list must be wrapped in an OCTET STRING.
  EXPECT_TRUE(CertificateTrustList::Create(Hex(list(usage + time + sha1))).IsEmpty());
}

}  // namespace
