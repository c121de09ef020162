#include "verify/x509/x509_certificate.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/algorithms/hash_algorithm.h"
#include "x509_pki_fixture.h"

namespace upd::test {
namespace {

// What `openssl x509 -text` says about one certificate.
struct OpensslView {
  std::string serial;  // upper-case hex
  int64_t not_before = -1;
  int64_t not_after = -1;
  std::string sha1;  // lower-case hex, no colons
  int version = 0;
  bool ec_key = false;
  std::string curve;
};

int64_t ParseOpensslDate(const std::string& text) {
  struct tm parts = {};
  if (strptime(text.c_str(), "%b %d %H:%M:%S %Y GMT", &parts) == nullptr) return -1;
  return static_cast<int64_t>(timegm(&parts));
}

std::string ValueAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  if (at == std::string::npos) return {};
  const size_t start = at + key.size();
  return text.substr(start, text.find('\n', start) - start);
}

OpensslView ParseOpensslText(const std::string& out) {
  OpensslView view;
  view.serial = ValueAfter(out, "serial=");
  view.not_before = ParseOpensslDate(ValueAfter(out, "notBefore="));
  view.not_after = ParseOpensslDate(ValueAfter(out, "notAfter="));
  for (const char c : ValueAfter(out, "Fingerprint=")) {
    if (c != ':') view.sha1.push_back(static_cast<char>(std::tolower(c)));
  }
  view.version = std::atoi(ValueAfter(out, "Version: ").c_str());
  view.ec_key = out.find("Public Key Algorithm: id-ecPublicKey") != std::string::npos;
  view.curve = ValueAfter(out, "ASN1 OID: ");
  return view;
}

const char kOpensslFields[] = "-noout -serial -startdate -enddate -fingerprint -sha1 -text";

OpensslView AskOpenssl(const std::string& path, const std::string& form) {
  std::string out;
  EXPECT_EQ(
      RunCommand("openssl x509 -inform " + form + " -in '" + path + "' " + kOpensslFields, &out), 0)
      << path;
  return ParseOpensslText(out);
}

// Asks openssl about many files at once, eight processes at a time.
std::vector<OpensslView> AskOpensslAll(const std::vector<std::string>& files,
                                       const std::string& form) {
  TempDir dir;
  std::string list;
  for (size_t i = 0; i < files.size(); ++i) list += std::to_string(i) + " " + files[i] + "\n";
  WriteFile(dir.file("list"), list);
  EXPECT_EQ(RunCommand("xargs -P 8 -n 2 sh -c 'openssl x509 -inform " + form + " -in \"$2\" " +
                       kOpensslFields + " > " + dir.file("") + "$1.txt' _ < " + dir.file("list")),
            0);
  std::vector<OpensslView> views;
  for (size_t i = 0; i < files.size(); ++i) {
    views.push_back(ParseOpensslText(ReadFile(dir.file(std::to_string(i) + ".txt"))));
  }
  return views;
}

// openssl prints the serial's magnitude without leading zero octets.
std::string SerialHex(const X509Certificate& certificate) {
  std::string hex = ToHex(certificate.GetSerialNumber().AsSpan());
  while (hex.size() > 2 && hex.compare(0, 2, "00") == 0) hex.erase(0, 2);
  std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return std::toupper(c); });
  return hex;
}

uint32_t CurveIdOf(const std::string& openssl_name) {
  if (openssl_name == "prime256v1") return kCurveP256;
  if (openssl_name == "secp384r1") return kCurveP384;
  if (openssl_name == "secp521r1") return kCurveP521;
  return 0;
}

// The codec reads a two-digit year of 50 as 2050, where openssl reads 1950.
constexpr int64_t kCentury = int64_t{36525} * 86400;

void ExpectMatchesOpenssl(const X509Certificate& certificate, const OpensslView& view,
                          const std::string& name) {
  if (view.serial.rfind("-", 0) == 0) {
    // A negative serial stays in its stored two's-complement form.
    EXPECT_GE(certificate.GetSerialNumber().GetAt(0), 0x80) << name;
  } else {
    EXPECT_EQ(SerialHex(certificate), view.serial) << name;
  }
  const bool year_fifty = view.not_before < 0;
  EXPECT_EQ(certificate.GetNotBefore(), view.not_before + (year_fifty ? kCentury : 0)) << name;
  EXPECT_EQ(certificate.GetNotAfter(), view.not_after) << name;
  ByteArray thumbprint;
  ASSERT_TRUE(certificate.ComputeHash(kHashSHA1, thumbprint)) << name;
  EXPECT_EQ(ToHex(thumbprint.AsSpan()), view.sha1) << name;
  EXPECT_EQ(certificate.GetVersion(), view.version) << name;
  EXPECT_EQ(certificate.IsECCKey(), view.ec_key) << name;
  if (view.ec_key) {
    EXPECT_EQ(certificate.GetCurve(), CurveIdOf(view.curve)) << name;
  }
}

TEST(X509CertificateBundleTest, EveryDebianRootParsesAsOpensslReadsIt) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator("/etc/ssl/certs")) {
    if (entry.path().extension() == ".pem") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 100u);
  const std::vector<OpensslView> views = AskOpensslAll(files, "PEM");
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& file = files[i];
    CountedPtr<X509Certificate> certificate = LoadCertificateFile(file);
    ASSERT_TRUE(certificate) << file;
    ExpectMatchesOpenssl(*certificate, views[i], file);
    // Every bundled root signs itself with its own key.
    EXPECT_TRUE(certificate->IsSelfSigned()) << file;
  }
}

TEST(X509CertificateBundleTest, PkitsCertificatesMatchOpenssl) {
  const std::vector<std::string> files = PkitsFiles("certs", ".crt");
  ASSERT_GT(files.size(), 300u);
  const std::vector<OpensslView> views = AskOpensslAll(files, "DER");
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& file = files[i];
    CountedPtr<X509Certificate> certificate = LoadCertificateFile(file);
    ASSERT_TRUE(certificate) << file;
    ExpectMatchesOpenssl(*certificate, views[i], file);
  }
}

TEST(X509CertificateTest, TimeValidityExcludesNotBeforeAndIncludesNotAfter) {
  const std::string path = PkiFile("leaf_a");
  CountedPtr<X509Certificate> certificate = LoadCertificateFile(path);
  ASSERT_TRUE(certificate);
  const OpensslView view = AskOpenssl(path, "DER");
  EXPECT_FALSE(certificate->IsTimeValid(view.not_before - 1));
  EXPECT_FALSE(certificate->IsTimeValid(view.not_before));
  EXPECT_TRUE(certificate->IsTimeValid(view.not_before + 1));
  EXPECT_TRUE(certificate->IsTimeValid(view.not_after));
  EXPECT_FALSE(certificate->IsTimeValid(view.not_after + 1));
}

TEST(X509CertificateTest, VersionOneHasItsSerialFirst) {
  const std::string path = PkiFile("root_v1");
  CountedPtr<X509Certificate> v1 = LoadCertificateFile(path);
  ASSERT_TRUE(v1);
  EXPECT_EQ(v1->GetVersion(), 1);
  EXPECT_FALSE(v1->GetExtensions());
  EXPECT_EQ(SerialHex(*v1), AskOpenssl(path, "DER").serial);
  CountedPtr<X509Certificate> v3 = PkiCertificate("root_a");
  ASSERT_TRUE(v3);
  EXPECT_EQ(v3->GetVersion(), 3);
  EXPECT_TRUE(v3->GetExtensions());
}

TEST(X509CertificateTest, PemAndDerGiveTheSameCertificate) {
  CountedPtr<X509Certificate> der = PkiCertificate("leaf_a");
  CountedPtr<X509Certificate> pem =
      X509Certificate::FromBytes(BytesOf(ReadFile(PkiDir() + "/leaf_a.pem")));
  ASSERT_TRUE(der);
  ASSERT_TRUE(pem);
  EXPECT_EQ(X509Certificate::CompareEncoded(der.Get(), pem.Get()), 0);
}

TEST(X509CertificateTest, MalformedPemIsRefused) {
  const std::string pem = ReadFile(PkiDir() + "/leaf_a.pem");
  ASSERT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----\n", 0), 0u);
  const size_t end = pem.find("-----END CERTIFICATE-----");
  ASSERT_NE(end, std::string::npos);
  const std::string body = pem.substr(28, end - 28);
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      // Not starting with '-' means DER, which this text is not.
      {"leading blank line", "\n" + pem},
      {"END before BEGIN", "-----END CERTIFICATE-----\n" + body + "-----BEGIN CERTIFICATE-----\n"},
      {"no END marker", pem.substr(0, end)},
      {"other label", "-----BEGIN X509 CRL-----\n" + body + "-----END X509 CRL-----\n"},
      {"empty body", "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n"},
      {"truncated body", "-----BEGIN CERTIFICATE-----\n" + body.substr(0, body.size() / 2) +
                             "\n-----END CERTIFICATE-----\n"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(X509Certificate::FromBytes(BytesOf(c.text))) << c.name;
  }
}

TEST(X509CertificateTest, TruncatedDerIsRefusedAtEveryLength) {
  const std::string der = ReadFile(PkiFile("inter_a"));
  ASSERT_TRUE(X509Certificate::FromBytes(BytesOf(der)));
  for (size_t n = 0; n < der.size(); ++n) {
    EXPECT_FALSE(X509Certificate::FromBytes(BytesOf(der.substr(0, n)))) << n;
  }
}

struct SignaturePair {
  const char* child;
  const char* issuer;
  bool verifies;
};

TEST(X509CertificateTest, IssuerKeysVerifyTheirChildrenOnly) {
  const SignaturePair pairs[] = {
      {"leaf_a", "inter_a", true},  {"leaf_a", "root_a", false},   {"inter_a", "root_a", true},
      {"root_a", "root_a", true},   {"own_inter", "", true},  // under the RSA-4096 root of the
                                                              // trust folder
      {"cycle_a", "cycle_b", true}, {"cycle_a", "cycle_a", false},
  };
  CountedPtr<X509Certificate> root9 = LoadCertificateFile(BinaryPath("trust/root9.der"));
  ASSERT_TRUE(root9);
  for (const SignaturePair& pair : pairs) {
    CountedPtr<X509Certificate> child = PkiCertificate(pair.child);
    CountedPtr<X509Certificate> issuer = *pair.issuer == '\0' ? root9 : PkiCertificate(pair.issuer);
    ASSERT_TRUE(child && issuer) << pair.child;
    EXPECT_EQ(child->VerifySignature(issuer.Get()), pair.verifies)
        << pair.child << " by " << pair.issuer;
  }
  EXPECT_FALSE(PkiCertificate("leaf_a")->VerifySignature(nullptr));
}

TEST(X509CertificateTest, SelfSignedNeedsEqualNamesAndItsOwnSignature) {
  EXPECT_TRUE(PkiCertificate("root_a")->IsSelfSigned());
  EXPECT_TRUE(PkiCertificate("self_leaf")->IsSelfSigned());
  EXPECT_TRUE(PkiCertificate("root_v1")->IsSelfSigned());
  EXPECT_FALSE(PkiCertificate("leaf_a")->IsSelfSigned());
  // Same subject and issuer, but signed by another certificate's key.
  EXPECT_FALSE(PkiCertificate("loop0")->IsSelfSigned());
  EXPECT_TRUE(LoadCertificateFile(BinaryPath("trust/root10.der"))->IsSelfSigned());
}

TEST(X509CertificateTest, ModulusWithLeadingZeroGivesItsRealKeySize) {
  CountedPtr<X509Certificate> root = LoadCertificateFile(PkitsCert("TrustAnchorRootCertificate"));
  ASSERT_TRUE(root);
  CountedPtr<RSAImpl> key = root->GetRSAPublicKey();
  ASSERT_TRUE(key);
  EXPECT_EQ(key->GetKeySize(), 2048u);
  CountedPtr<X509Certificate> own = LoadCertificateFile(BinaryPath("trust/root9.der"));
  ASSERT_TRUE(own && own->GetRSAPublicKey());
  EXPECT_EQ(own->GetRSAPublicKey()->GetKeySize(), 4096u);
}

TEST(X509CertificateTest, DsaKeysParseButNeverVerify) {
  CountedPtr<X509Certificate> ca = LoadCertificateFile(PkitsCert("DSACACert"));
  CountedPtr<X509Certificate> leaf = LoadCertificateFile(PkitsCert("ValidDSASignaturesTest4EE"));
  ASSERT_TRUE(ca && leaf);
  EXPECT_EQ(ca->GetKeyType(), kX509KeyRSA);
  EXPECT_FALSE(ca->GetRSAPublicKey());
  EXPECT_FALSE(leaf->VerifySignature(ca.Get()));
  ByteArray signature;
  ASSERT_TRUE(leaf->GetSignatureBytes(signature));
  EXPECT_EQ(signature.GetLength(), 40);
}

TEST(X509CertificateTest, TbsHashIsSharedSafelyBetweenThreads) {
  CountedPtr<X509Certificate> leaf = PkiCertificate("leaf_a");
  CountedPtr<X509Certificate> issuer = PkiCertificate("inter_a");
  ASSERT_TRUE(leaf && issuer);
  std::vector<std::thread> threads;
  std::vector<int> verdicts(8, 0);
  for (size_t i = 0; i < verdicts.size(); ++i) {
    threads.emplace_back([&, i] { verdicts[i] = leaf->VerifySignature(issuer.Get()) ? 1 : 0; });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), 1), 8);
  ByteArray first;
  ByteArray second;
  ASSERT_TRUE(leaf->GetTBSHash(first));
  ASSERT_TRUE(leaf->GetTBSHash(second));
  EXPECT_TRUE(first.Equals(second));
  EXPECT_EQ(first.GetLength(), 32);
}

TEST(X509CertificateTest, IssuerAndSerialComparison) {
  CountedPtr<X509Certificate> leaf = PkiCertificate("leaf_a");
  CountedPtr<X509Certificate> again = PkiCertificate("leaf_a");
  CountedPtr<X509Certificate> sibling = PkiCertificate("leaf_past");  // same issuer, other serial
  EXPECT_TRUE(leaf->IsSameIssuerAndSerial(again.Get()));
  EXPECT_FALSE(leaf->IsSameIssuerAndSerial(sibling.Get()));
  EXPECT_FALSE(leaf->IsSameIssuerAndSerial(nullptr));
  EXPECT_EQ(X509Certificate::CompareEncoded(leaf.Get(), nullptr), -2);
}

}  // namespace
}  // namespace upd::test
