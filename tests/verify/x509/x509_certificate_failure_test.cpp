// Hand-built certificates: hostile keys and the shapes the parser must refuse.

#include <gtest/gtest.h>

#include <string>

#include "support/der_testing.h"
#include "verify/x509/x509_certificate.h"

namespace upd::test {
namespace {

std::string Tlv(uint8_t tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  const size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<char>(n));
  } else {
    std::string length;
    for (size_t v = n; v != 0; v >>= 8) length.insert(length.begin(), static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(0x80 | length.size()));
    out += length;
  }
  return out + content;
}

std::string Seq(const std::string& content) { return Tlv(0x30, content); }

const std::string kSha256Rsa = Unhex("06092A864886F70D01010B");
const std::string kRsaKey = Unhex("06092A864886F70D010101");
const std::string kEcKey = Unhex("06072A8648CE3D0201");
const std::string kP256 = Unhex("06082A8648CE3D030107");
const std::string kSecp256k1 = Unhex("06052B8104000A");
const std::string kRsaPss = Unhex("06092A864886F70D01010A");
const std::string kEcdsaSha1 = Unhex("06072A8648CE3D0401");

std::string Name(const std::string& cn) {
  return Seq(Tlv(0x31, Seq(Unhex("0603550403") + Tlv(0x0C, cn))));
}

std::string RsaKeyInfo(const std::string& modulus, const std::string& exponent) {
  const std::string key = Seq(Tlv(0x02, modulus) + Tlv(0x02, exponent));
  return Seq(Seq(kRsaKey + Unhex("0500")) + Tlv(0x03, std::string(1, '\0') + key));
}

std::string EcKeyInfo(const std::string& parameters) {
  std::string point(65, '\x11');
  point[0] = 4;
  return Seq(Seq(kEcKey + parameters) + Tlv(0x03, std::string(1, '\0') + point));
}

struct Shape {
  std::string version = Tlv(0xA0, Tlv(0x02, "\x02"));
  std::string serial = Tlv(0x02, "\x05");
  std::string key_info =
      RsaKeyInfo(std::string(1, '\xC1') + std::string(255, '\x01'), "\x01\x00\x01");
  std::string after_key;  // unique identifiers, extensions
  std::string algorithm = kSha256Rsa;
  std::string signature = Tlv(0x03, std::string(1, '\0') + std::string(256, '\x42'));
  bool drop_signature = false;
};

ByteArray Build(const Shape& s) {
  const std::string validity = Seq(Tlv(0x17, "200101000000Z") + Tlv(0x17, "400101000000Z"));
  const std::string tbs = Seq(s.version + s.serial + Seq(s.algorithm) + Name("issuer") + validity +
                              Name("subject") + s.key_info + s.after_key);
  return BytesOf(Seq(tbs + Seq(s.algorithm) + (s.drop_signature ? "" : s.signature)));
}

std::string Modulus(size_t bytes) {
  std::string m(bytes, '\x5A');
  m[0] = '\xC3';
  m.back() = '\x01';
  return m;
}

struct KeyCase {
  const char* name;
  std::string modulus;
  std::string exponent;
  uint32_t bits;  // 0: refused
};

TEST(X509CertificateFailureTest, OversizedRsaKeysAreRefusedBeforeUse) {
  const KeyCase cases[] = {
      {"2048 bits", Modulus(256), "\x01\x00\x01", 2048},
      {"2048 bits with a sign octet", std::string(1, '\0') + Modulus(256), "\x03", 2048},
      {"largest legal size", Modulus(2048), "\x01\x00\x01", 16384},
      {"one octet over the largest size", Modulus(2049), "\x01\x00\x01", 0},
      {"below the smallest size", Modulus(47), "\x03", 0},
      {"64-bit exponent", Modulus(512), std::string(1, '\x80') + std::string(7, '\x01'), 4096},
      {"exponent with leading zeros", Modulus(256), std::string(4, '\0') + "\x01\x00\x01", 2048},
      {"65-bit exponent", Modulus(512), std::string(1, '\x01') + std::string(8, '\x01'), 0},
      {"exponent as long as the modulus", Modulus(256), Modulus(256), 0},
      {"zero exponent", Modulus(256), std::string(1, '\0'), 0},
      {"empty modulus", "", "\x03", 0},
  };
  for (const KeyCase& c : cases) {
    Shape shape;
    shape.key_info = RsaKeyInfo(c.modulus, c.exponent);
    CountedPtr<X509Certificate> certificate = X509Certificate::FromBytes(Build(shape));
    ASSERT_TRUE(certificate) << c.name;
    CountedPtr<RSAImpl> key = certificate->GetRSAPublicKey();
    EXPECT_EQ(key ? key->GetKeySize() : 0u, c.bits) << c.name;
    EXPECT_EQ(static_cast<bool>(certificate->CreateSignatureDeformatter()), c.bits != 0) << c.name;
    if (c.bits == 0) {
      EXPECT_FALSE(certificate->VerifySignature(certificate.Get())) << c.name;
    }
  }
}

TEST(X509CertificateFailureTest, ParserRefusesMalformedShapes) {
  struct Case {
    const char* name;
    void (*change)(Shape&);
    bool parses;
  };
  const Case cases[] = {
      {"well formed", [](Shape&) {}, true},
      {"no version element (version 1)", [](Shape& s) { s.version.clear(); }, true},
      {"serial not an INTEGER", [](Shape& s) { s.serial = Tlv(0x04, "\x05"); }, false},
      {"two top-level elements", [](Shape& s) { s.drop_signature = true; }, false},
      {"signature without content", [](Shape& s) { s.signature = Tlv(0x03, ""); }, false},
      {"signature algorithm without hash", [](Shape& s) { s.algorithm = kRsaPss; }, false},
      {"EC key without curve", [](Shape& s) { s.key_info = EcKeyInfo(""); }, false},
      {"EC key on another curve", [](Shape& s) { s.key_info = EcKeyInfo(kSecp256k1); }, true},
      {"key not a BIT STRING",
       [](Shape& s) { s.key_info = Seq(Seq(kRsaKey) + Tlv(0x04, "\x00\x01")); }, false},
      {"extensions that do not decode",
       [](Shape& s) { s.after_key = Tlv(0xA3, Seq(Seq(Unhex("0500")))); }, false},
      {"extensions block with two children",
       [](Shape& s) { s.after_key = Tlv(0xA3, Seq("") + Seq("")); }, true},
      {"unique identifiers before extensions",
       [](Shape& s) {
         s.after_key = Tlv(0x81, "\x00\x01") + Tlv(0x82, "\x00\x02") +
                       Tlv(0xA3, Seq(Seq(Unhex("0603551D13") + Tlv(0x04, Seq("")))));
       },
       true},
  };
  for (const Case& c : cases) {
    Shape shape;
    c.change(shape);
    EXPECT_EQ(static_cast<bool>(X509Certificate::FromBytes(Build(shape))), c.parses) << c.name;
  }
}

TEST(X509CertificateFailureTest, FieldsOfHandBuiltCertificates) {
  Shape v1;
  v1.version.clear();
  CountedPtr<X509Certificate> old = X509Certificate::FromBytes(Build(v1));
  ASSERT_TRUE(old);
  EXPECT_EQ(old->GetVersion(), 1);
  EXPECT_EQ(ToHex(old->GetSerialNumber().AsSpan()), "05");

  Shape v3;
  v3.after_key =
      Tlv(0x81, "\x00\x01") + Tlv(0xA3, Seq(Seq(Unhex("0603551D13") + Tlv(0x04, Seq("")))));
  CountedPtr<X509Certificate> current = X509Certificate::FromBytes(Build(v3));
  ASSERT_TRUE(current);
  EXPECT_EQ(current->GetVersion(), 3);
  ASSERT_TRUE(current->GetExtensions());
  EXPECT_TRUE(current->GetExtensions()->Contains("2.5.29.19"));

  Shape other_curve;
  other_curve.key_info = EcKeyInfo(kSecp256k1);
  CountedPtr<X509Certificate> ec = X509Certificate::FromBytes(Build(other_curve));
  ASSERT_TRUE(ec);
  EXPECT_TRUE(ec->IsECCKey());
  EXPECT_EQ(ec->GetCurve(), 0u);
  EXPECT_FALSE(ec->GetECCPublicKey());

  Shape sha1_ecdsa;
  sha1_ecdsa.algorithm = kEcdsaSha1;
  CountedPtr<X509Certificate> refused = X509Certificate::FromBytes(Build(sha1_ecdsa));
  ASSERT_TRUE(refused);
  ByteArray signature;
  EXPECT_FALSE(refused->GetSignatureBytes(signature));
}

}  // namespace
}  // namespace upd::test
