#include "verify/pkcs7/pkcs7_signed_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ctl_fixture.h"
#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/ctl/trust_list.h"
#include "verify/pkcs7/pkcs7_content_info.h"
#include "verify/x509/certificate_store.h"
#include "verify/x509/x509_chain.h"

namespace {

using upd::test::CtlPki;

struct Message {
  CountedPtr<CPKCS7::ContentInfo> outer;
  CountedPtr<CPKCS7::SignedData> data;
};

Message Read(const std::string& path) {
  Message m;
  m.outer = CPKCS7::ContentInfo::Parse(upd::test::BytesOf(upd::test::ReadFile(path)), false);
  if (m.outer.IsEmpty()) return m;
  m.data = CPKCS7::SignedData::Parse(m.outer->GetContent(), true);
  return m;
}

class SignedDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CtlPki& pki = CtlPki::Get();
    content_ = pki.Content(pki.Path("p7_content.der"), {"signer", "inter"});
    signed_ = pki.Sign(pki.Path("p7_signed.stl"), content_, "signer", {"inter"});
  }
  static std::string content_;
  static std::string signed_;
};
std::string SignedDataTest::content_;
std::string SignedDataTest::signed_;

TEST_F(SignedDataTest, ReadsWhatOpensslSigned) {
  const Message m = Read(signed_);
  ASSERT_FALSE(m.outer.IsEmpty());
  EXPECT_TRUE(m.outer->GetContentType().Equals(kOidPkcs7SignedData));
  ASSERT_FALSE(m.data.IsEmpty());
  ASSERT_FALSE(m.data->GetContentInfo().IsEmpty());
  EXPECT_TRUE(m.data->GetContentInfo()->GetContentType().Equals(kOidCertificateTrustList));
  EXPECT_EQ(m.data->GetCertificates()->GetCount(), 2);
  ASSERT_FALSE(m.data->GetSignerInfo().IsEmpty());
  EXPECT_TRUE(m.data->HasAuthenticatedAttributes());
  EXPECT_EQ(m.data->GetSignerInfo()->GetVersion(), 1u);

  // The located octets are exactly the list's DER that was signed.
  std::span<const uint8_t> located;
  ASSERT_TRUE(CPKCS7::SignedData::LocateContent(m.data->GetContentInfo()->GetContent(), located));
  const std::string want = upd::test::ReadFile(content_);
  EXPECT_EQ(std::string(located.begin(), located.end()), want);

  ASSERT_EQ(m.data->VerifySignerInfo(kOidCertificateTrustList), kPkcs7Ok);
  ASSERT_FALSE(m.data->GetSignerCertificate().IsEmpty());
  EXPECT_TRUE(m.data->GetSignerCertificate()->GetEncoded().Equals(CtlPki::Get().Der("signer")));
}

struct SignerCase {
  const char* name;
  const char* signer;
  const char* sign_options;
  const char* edits;  // ctl_der.py edits, or "" for none
  uint32_t want;
};

class SignerCheckTest : public SignedDataTest, public ::testing::WithParamInterface<SignerCase> {};

TEST_P(SignerCheckTest, GivesItsCode) {
  const SignerCase& c = GetParam();
  CtlPki& pki = CtlPki::Get();
  upd::test::TempDir temp;
  std::string path = pki.Sign(temp.file("list.stl"), content_, c.signer, {"inter"}, c.sign_options);
  if (*c.edits != '\0') {
    std::string edits = c.edits;
    // "@NAME" stands for a second list signed by fixture signer NAME.
    const size_t at = edits.find('@');
    if (at != std::string::npos) {
      const size_t end = edits.find(' ', at);
      const std::string other = edits.substr(at + 1, end - at - 1);
      pki.Sign(temp.file("other.stl"), content_, other, {});
      edits.replace(at, end == std::string::npos ? std::string::npos : end - at,
                    temp.file("other.stl"));
    }
    path = pki.Edit(path, temp.file("edited.stl"), edits);
  }
  const Message m = Read(path);
  ASSERT_FALSE(m.data.IsEmpty());
  EXPECT_EQ(m.data->VerifySignerInfo(kOidCertificateTrustList), c.want);
  EXPECT_EQ(m.data->GetSignerCertificate().IsEmpty(), c.want != kPkcs7Ok);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignerCheckTest,
    ::testing::Values(
        SignerCase{"Attributes", "signer", "", "", kPkcs7Ok},
        SignerCase{"NoAttributes", "signer", "--noattr", "", kPkcs7Ok},
        SignerCase{"Sha1Digest", "signer", "--md sha1", "", kPkcs7Ok},
        SignerCase{"Sha512Digest", "signer", "--md sha512", "", kPkcs7Ok},
        SignerCase{"EcP256Signer", "signer_ec", "", "", kPkcs7Ok},
        SignerCase{"Md5HasNoHashObject", "signer", "--md md5", "", kPkcs7NoHashObject},
        SignerCase{"KeyIdentifierNeverMatches", "signer", "--keyid", "", kPkcs7NoSigner},
        SignerCase{"SignerNotCarried", "signer", "--nocerts", "", kPkcs7NoSigner},
        SignerCase{"NoMessageDigest", "signer", "", "drop-attribute=1.2.840.113549.1.9.4",
                   kPkcs7AttributeMissing},
        SignerCase{"NoContentType", "signer", "", "drop-attribute=1.2.840.113549.1.9.3",
                   kPkcs7AttributeMissing},
        SignerCase{"DataContentType", "signer", "", "content-type=1.2.840.113549.1.7.1",
                   kPkcs7ContentTypeMismatch},
        SignerCase{"AlteredContentByte", "signer", "", "flip-content=40", kPkcs7DigestMismatch},
        SignerCase{"AlteredContentNoAttributes", "signer", "--noattr", "flip-content=40",
                   kPkcs7NoSigner},
        SignerCase{"IndefiniteFieldSameOctets", "signer", "", "content-indefinite", kPkcs7Ok},
        SignerCase{"IndefiniteFieldAltered", "signer", "", "flip-content=3 content-indefinite",
                   kPkcs7DigestMismatch},
        SignerCase{"InnerIndefinite", "signer", "", "inner-indefinite", kPkcs7Malformed},
        SignerCase{"InnerConstructed", "signer", "", "inner-constructed", kPkcs7Malformed},
        SignerCase{"InnerConstructedNoAttributes", "signer", "--noattr", "inner-constructed",
                   kPkcs7Malformed},
        SignerCase{"AlteredInnerIndefinite", "signer", "", "flip-content=3 inner-indefinite",
                   kPkcs7Malformed},
        SignerCase{"SecondSignerIgnored", "signer", "", "append-signer=@foreign_signer", kPkcs7Ok},
        SignerCase{"OnlyFirstSignerCounts", "signer", "", "prepend-signer=@foreign_signer",
                   kPkcs7NoSigner}),
    [](const ::testing::TestParamInfo<SignerCase>& info) { return std::string(info.param.name); });

TEST_F(SignedDataTest, UnparsableCarriedCertificateRefusesTheMessage) {
  upd::test::TempDir temp;
  const std::string path =
      CtlPki::Get().Edit(signed_, temp.file("junk.stl"), "append-junk-certificate");
  const Message m = Read(path);
  ASSERT_FALSE(m.outer.IsEmpty());
  EXPECT_TRUE(m.data.IsEmpty());
}

TEST_F(SignedDataTest, ExpectedTypeMustMatchTheAttribute) {
  const Message m = Read(signed_);
  ASSERT_FALSE(m.data.IsEmpty());
  EXPECT_EQ(m.data->VerifySignerInfo(kOidPkcs7Data), kPkcs7ContentTypeMismatch);
  EXPECT_EQ(m.data->VerifySignerInfo(kOidCertificateTrustList), kPkcs7Ok);
}

// The signer check, then the signer's chain against the product's roots.
TEST_F(SignedDataTest, VerifyChainsTheSigner) {
  CtlPki& pki = CtlPki::Get();
  CertificateStorePtr store(CreateCertificateStore(nullptr, 0, 4, nullptr));
  ASSERT_TRUE(store != nullptr);
  upd::test::TempDir temp;
  struct Case {
    const char* signer;
    int64_t time;
    uint32_t want;
  } cases[] = {
      {"signer", upd::test::kCtlTestTime, kChainTrusted},
      {"signer10", upd::test::kCtlTestTime, kChainTrusted},
      {"signer_expired", upd::test::kCtlTestTime, kChainFailed},
      {"signer_expired", 1767225600, kChainTrusted},  // 2026-01-01, still valid
      // Its root is neither carried nor in the store: a partial chain.
      {"foreign_signer", upd::test::kCtlTestTime, kChainFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.signer) + " at " + std::to_string(c.time));
    const Message m = Read(pki.Sign(temp.file("list.stl"), content_, c.signer, {"inter"}));
    ASSERT_FALSE(m.data.IsEmpty());
    EXPECT_EQ(m.data->Verify(store.get(), c.time, 0x47, kOidCertificateTrustList), c.want);
    EXPECT_EQ(m.data->IsVerified(), c.want == kChainTrusted);
    EXPECT_FALSE(m.data->GetChain().IsEmpty());
  }
  // A failing signer check is returned before any chain is built.
  const Message m = Read(signed_);
  EXPECT_EQ(m.data->Verify(store.get(), upd::test::kCtlTestTime, 0x47, kOidPkcs7Data),
            kPkcs7ContentTypeMismatch);
  EXPECT_TRUE(m.data->GetChain().IsEmpty());
  EXPECT_FALSE(m.data->IsVerified());
}

// Hand-made fields for the bounds of content location.
TEST(LocateContentTest, Bounds) {
  struct Case {
    const char* name;
    const char* field;
    const char* want;  // hex of the content octets, or null when none
  } cases[] = {
      {"octets of the inner element", "a0 05 04 03 01 02 03", "010203"},
      {"inner SEQUENCE keeps its children", "a0 06 30 04 02 01 05 05", "02010505"},
      {"indefinite field", "a0 80 04 02 aa bb 00 00", "aabb"},
      {"not [0]", "30 04 04 02 aa bb", nullptr},
      {"field too short", "a0", nullptr},
      {"[0] content under 2 bytes", "a0 01 04", nullptr},
      {"[0] longer than the field", "a0 07 04 02 aa bb", nullptr},
      {"inner longer than [0]", "a0 04 04 05 aa bb", nullptr},
      {"inner indefinite", "a0 06 04 80 aa bb 00 00", nullptr},
      {"inner constructed string", "a0 06 24 04 04 02 aa bb", nullptr},
      {"indefinite field without end", "a0 80 04 02 aa bb", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::span<const uint8_t> out;
    const ByteArray field = upd::test::Hex(c.field);
    const bool found = CPKCS7::SignedData::LocateContent(field, out);
    ASSERT_EQ(found, c.want != nullptr);
    if (found) {
      EXPECT_EQ(upd::test::ToHex(out), c.want);
    }
  }
}

TEST(ContentInfoTest, Forms) {
  struct Case {
    const char* name;
    const char* der;
    bool parses;
    bool has_content;
  } cases[] = {
      {"type only", "30 05 06 03 2a 03 04", true, false},
      {"type and [0]", "30 09 06 03 2a 03 04 a0 02 05 00", true, true},
      {"second element not [0]", "30 09 06 03 2a 03 04 a1 02 05 00", false, false},
      {"three elements", "30 0b 06 03 2a 03 04 a0 02 05 00 05 00", false, false},
      {"type not an OID", "30 03 02 01 01", false, false},
      {"not a SEQUENCE", "31 05 06 03 2a 03 04", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountedPtr<CPKCS7::ContentInfo> info = CPKCS7::ContentInfo::Parse(upd::test::Hex(c.der), false);
    ASSERT_EQ(!info.IsEmpty(), c.parses);
    if (!c.parses) continue;
    EXPECT_TRUE(info->GetContentType().Equals("1.2.3.4"));
    EXPECT_EQ(!info->GetContent().IsEmpty(), c.has_content);
  }
}

}  // namespace
