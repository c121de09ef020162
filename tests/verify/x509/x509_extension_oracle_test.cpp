// Extensions of certificates that openssl makes at test time (and of the
// PKITS corpus), read here and compared with what `openssl x509 -text` shows.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/asn1/asn1_tags.h"
#include "verify/x509/basic_constraints_extension.h"
#include "verify/x509/crl_distribution_points_extension.h"
#include "verify/x509/general_name.h"
#include "verify/x509/key_identifier_extensions.h"
#include "verify/x509/key_usage_extension.h"
#include "verify/x509/x509_extension.h"

namespace {

constexpr uint8_t kTagExtensions = Asn1ContextTag(3);

// The Extensions SEQUENCE of a certificate, or null.
ASN1* FindExtensions(ASN1& certificate) {
  if (!certificate.EnsureDecoded(false) || !certificate.HasChild(0)) return nullptr;
  ASN1& tbs = *certificate.GetChild(0);
  if (!tbs.EnsureDecoded(false)) return nullptr;
  for (int64_t i = 0; i < tbs.GetChildCount(); ++i) {
    ASN1* explicit_tag = tbs.GetChildIfTag(i, kTagExtensions);
    if (explicit_tag == nullptr || !explicit_tag->EnsureDecoded(false)) continue;
    if (explicit_tag->HasChild(0)) return explicit_tag->GetChild(0);
  }
  return nullptr;
}

struct Shown {
  bool critical = false;
  std::string body;
};

// "X509v3 Basic Constraints" -> its critical mark and body lines.
std::map<std::string, Shown> OpensslExtensions(const std::string& text) {
  std::map<std::string, Shown> out;
  std::istringstream in(text);
  std::string line;
  bool inside = false;
  std::string current;
  while (std::getline(in, line)) {
    if (line.find("X509v3 extensions:") != std::string::npos) {
      inside = true;
      continue;
    }
    if (!inside) continue;
    const size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos) continue;
    if (indent < 12) break;
    if (indent == 12) {
      std::string header = line.substr(12);
      const size_t colon = header.find(':');
      current = header.substr(0, colon);
      out[current].critical = header.find("critical") != std::string::npos;
      continue;
    }
    out[current].body += line.substr(16) + "\n";
  }
  return out;
}

std::string KeyHex(const ByteArray& key) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const uint8_t b : key.AsSpan()) {
    if (!out.empty()) out += ':';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// openssl's IPv6 form: upper-case groups without leading zeros.
std::string OpensslIp(const std::string& text) {
  if (text.find(':') == std::string::npos) return text;
  std::string out;
  std::istringstream in(text);
  std::string group;
  while (std::getline(in, group, ':')) {
    if (!out.empty()) out += ':';
    std::ostringstream hex;
    hex << std::uppercase << std::hex << std::stoul(group, nullptr, 16);
    out += hex.str();
  }
  return out;
}

std::string NameText(const GeneralName& name) {
  switch (name.GetType()) {
    case GeneralName::kRfc822Name:
      return std::string("email:") + name.GetText();
    case GeneralName::kDnsName:
      return std::string("DNS:") + name.GetText();
    case GeneralName::kUri:
      return std::string("URI:") + name.GetText();
    case GeneralName::kIpAddress:
      return "IP Address:" + OpensslIp(name.GetText());
    default:
      return "?";
  }
}

std::string Render(const X509Extension& extension) {
  const char* oid = extension.GetOid().GetText();
  const std::string id = oid == nullptr ? "" : oid;
  if (id == BasicConstraintsExtension::kOid) {
    BasicConstraintsExtension typed(extension);
    if (!typed.Decode()) return "<undecodable>";
    std::string out = typed.IsCA() ? "CA:TRUE" : "CA:FALSE";
    if (typed.GetPathLenConstraint() >= 0) {
      out += ", pathlen:" + std::to_string(typed.GetPathLenConstraint());
    }
    return out + "\n";
  }
  if (id == KeyUsageExtension::kOid) {
    KeyUsageExtension typed(extension);
    if (!typed.Decode()) return "<undecodable>";
    static const struct {
      uint16_t bit;
      const char* name;
    } kNames[] = {
        {KeyUsageExtension::kDigitalSignature, "Digital Signature"},
        {KeyUsageExtension::kNonRepudiation, "Non Repudiation"},
        {KeyUsageExtension::kKeyEncipherment, "Key Encipherment"},
        {KeyUsageExtension::kDataEncipherment, "Data Encipherment"},
        {KeyUsageExtension::kKeyAgreement, "Key Agreement"},
        {KeyUsageExtension::kKeyCertSign, "Certificate Sign"},
        {KeyUsageExtension::kCrlSign, "CRL Sign"},
        {KeyUsageExtension::kEncipherOnly, "Encipher Only"},
        {KeyUsageExtension::kDecipherOnly, "Decipher Only"},
    };
    std::string out;
    for (const auto& n : kNames) {
      if ((typed.GetBits() & n.bit) == 0) continue;
      if (!out.empty()) out += ", ";
      out += n.name;
    }
    return out + "\n";
  }
  ByteArray key;
  if (id == SubjectKeyIdentifierExtension::kOid) {
    SubjectKeyIdentifierExtension typed(extension);
    return typed.GetKeyIdentifier(key) ? KeyHex(key) + "\n" : "<undecodable>";
  }
  if (id == AuthorityKeyIdentifierExtension::kOid) {
    AuthorityKeyIdentifierExtension typed(extension);
    return typed.GetKeyIdentifier(key) ? KeyHex(key) + "\n" : "<undecodable>";
  }
  if (id == CRLDistributionPointsExtension::kOid) {
    CRLDistributionPointsExtension typed(extension);
    if (!typed.IsDecoded()) return "<undecodable>";
    std::string out;
    for (int64_t i = 0; i < typed.GetCount(); ++i) {
      out += "Full Name:\n";
      const DistributionPoint& point = *typed.GetAt(i);
      for (int64_t j = 0; j < point.GetCount(); ++j) out += "  " + NameText(*point.GetAt(j)) + "\n";
    }
    return out;
  }
  if (id == "2.5.29.17") {
    CountedPtr<ASN1> names = extension.ParseContent();
    DistributionPoint list;
    if (names.IsEmpty() || !list.AddNames(*names)) return "<undecodable>";
    std::string out;
    for (int64_t j = 0; j < list.GetCount(); ++j) {
      if (!out.empty()) out += ", ";
      out += NameText(*list.GetAt(j));
    }
    return out + "\n";
  }
  return "";
}

const char* HeaderFor(const std::string& oid) {
  static const std::map<std::string, const char*> kHeaders = {
      {"2.5.29.19", "X509v3 Basic Constraints"},
      {"2.5.29.15", "X509v3 Key Usage"},
      {"2.5.29.14", "X509v3 Subject Key Identifier"},
      {"2.5.29.35", "X509v3 Authority Key Identifier"},
      {"2.5.29.31", "X509v3 CRL Distribution Points"},
      {"2.5.29.17", "X509v3 Subject Alternative Name"},
  };
  const auto it = kHeaders.find(oid);
  return it == kHeaders.end() ? nullptr : it->second;
}

// Compares every extension that both sides know; returns how many were compared.
int CompareWithOpenssl(const std::string& der_path, const std::string& text) {
  const auto shown = OpensslExtensions(text);
  CountedPtr<ASN1> certificate =
      ASN1::Parse(upd::test::BytesOf(upd::test::ReadFile(der_path)), false);
  EXPECT_FALSE(certificate.IsEmpty());
  if (certificate.IsEmpty()) return 0;
  ASN1* extensions = FindExtensions(*certificate);
  if (extensions == nullptr) return 0;
  CountedPtr<X509ExtensionCollection> collection = X509ExtensionCollection::Create(*extensions);
  EXPECT_FALSE(collection.IsEmpty());
  if (collection.IsEmpty()) return 0;
  int compared = 0;
  for (int64_t i = 0; i < collection->GetCount(); ++i) {
    const X509Extension& extension = *collection->GetAt(i);
    const char* header = HeaderFor(extension.GetOid().GetText());
    if (header == nullptr) continue;
    const auto it = shown.find(header);
    if (it == shown.end()) {
      ADD_FAILURE() << header << " not shown by openssl";
      continue;
    }
    EXPECT_EQ(extension.IsCritical() != 0, it->second.critical) << header;
    // Names other than e-mail, DNS, URI and IP address are not read, and a
    // list holding one fails as a whole.
    const std::string& body = it->second.body;
    const bool unread = body.find("DirName:") != std::string::npos ||
                        body.find("othername:") != std::string::npos ||
                        body.find("Relative Name:") != std::string::npos;
    EXPECT_EQ(Render(extension), unread ? "<undecodable>" : body) << header;
    ++compared;
  }
  return compared;
}

TEST(X509ExtensionOracleTest, OpensslMadeCertificates) {
  const std::vector<std::vector<std::string>> rows = {
      {"basicConstraints=critical,CA:TRUE,pathlen:3",
       "keyUsage=critical,digitalSignature,keyCertSign,cRLSign,encipherOnly,decipherOnly",
       "subjectKeyIdentifier=hash", "authorityKeyIdentifier=keyid:always",
       "crlDistributionPoints=URI:http://a.example/x.crl,URI:http://b.example/y.crl",
       "subjectAltName=DNS:*.example.org,IP:192.0.2.1,IP:2001:db8::1,email:a@example.org,"
       "URI:https://x.example/"},
      {"basicConstraints=CA:FALSE",
       "keyUsage=nonRepudiation,keyEncipherment,dataEncipherment,keyAgreement",
       "subjectAltName=DNS:a.example.org,IP:10.0.0.1,IP:::1,IP:2001:db8:0:1::ff"},
      {"basicConstraints=critical,CA:TRUE,pathlen:0", "keyUsage=keyCertSign"},
      {"basicConstraints=critical,CA:TRUE", "keyUsage=digitalSignature"},
      {"keyUsage=cRLSign,decipherOnly", "subjectKeyIdentifier=hash"},
  };
  upd::test::TempDir dir;
  upd::test::WriteFile(dir.file("req.cnf"), "[req]\ndistinguished_name=dn\n[dn]\n");
  ASSERT_EQ(upd::test::RunCommand("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 "
                                  "-out " +
                                  dir.file("key.pem") + " 2>/dev/null"),
            0);
  for (size_t r = 0; r < rows.size(); ++r) {
    SCOPED_TRACE(r);
    std::string command = "openssl req -x509 -config " + dir.file("req.cnf") + " -key " +
                          dir.file("key.pem") + " -subj /CN=test -days 2 -outform DER -out " +
                          dir.file("c.der");
    for (const auto& ext : rows[r]) command += " -addext '" + ext + "'";
    ASSERT_EQ(upd::test::RunCommand(command + " 2>&1"), 0);
    std::string text;
    ASSERT_EQ(upd::test::RunCommand(
                  "openssl x509 -inform DER -noout -text -in " + dir.file("c.der"), &text),
              0);
    // openssl adds key identifiers of its own accord.
    EXPECT_GE(CompareWithOpenssl(dir.file("c.der"), text), static_cast<int>(rows[r].size()));
  }
}

TEST(X509ExtensionOracleTest, PkitsCertificates) {
  const auto certs = upd::test::PkitsFiles("certs", ".crt");
  ASSERT_GT(certs.size(), 400u) << "python3-cryptography-vectors is missing";
  upd::test::TempDir dir;
  std::string names;
  for (const auto& f : certs) names += f + "\n";
  upd::test::WriteFile(dir.file("list"), names);
  std::string all;
  ASSERT_EQ(upd::test::RunCommand("while read -r f; do echo \"== $f\"; openssl x509 -inform DER "
                                  "-noout -text -in \"$f\"; done < " +
                                      dir.file("list"),
                                  &all),
            0);
  int compared = 0;
  for (const auto& f : certs) {
    SCOPED_TRACE(f);
    const size_t start = all.find("== " + f + "\n");
    ASSERT_NE(start, std::string::npos);
    const size_t end = all.find("\n== ", start + 1);
    compared +=
        CompareWithOpenssl(f, all.substr(start, end == std::string::npos ? end : end - start));
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
