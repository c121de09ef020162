#include "verify/x509/certificate_list_verify.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "verify/x509/dns_pattern.h"
#include "verify/x509/general_name.h"
#include "verify/x509/peer_certificate_list.h"
#include "verify/x509/x509_chain.h"

namespace {

constexpr char kOidSubjectAltName[] = "2.5.29.17";
// What an unexpected answer of the signer match becomes: no trusted signer.
constexpr uint32_t kUnexpectedSignerMatch = 6;

std::string Lower(const char* text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// DNS names compare without regard to ASCII case, as host names do; the
// other kinds compare exactly.
bool NameMatchesHost(const GeneralName& name, const char* host) {
  if (name.GetText() == nullptr) return false;
  if (name.GetType() != GeneralName::kDnsName) return std::strcmp(name.GetText(), host) == 0;
  const std::string pattern = Lower(name.GetText());
  return IsValidDnsPattern(pattern.c_str()) &&
         MatchDnsPattern(Lower(host).c_str(), pattern.c_str());
}

// 0 when an alternative name matches; a certificate without subjectAltName
// matches no host (its common name is not consulted).
uint32_t CheckHostName(const X509Certificate& leaf, const char* host) {
  CountedPtr<X509ExtensionCollection> extensions = leaf.GetExtensions();
  if (extensions.IsEmpty()) return kCertListHostMismatch;
  CountedPtr<X509Extension> alt_names = extensions->Get(kOidSubjectAltName);
  if (alt_names.IsEmpty()) return kCertListHostMismatch;
  CountedPtr<ASN1> names = alt_names->ParseContent();
  if (names.IsEmpty()) return kCertListHostMismatch;
  DistributionPoint list;
  if (!list.AddNames(*names) || list.GetCount() == 0) return kCertListBadAltName;
  for (int64_t i = 0; i < list.GetCount(); ++i) {
    if (NameMatchesHost(*list.GetAt(i), host)) return kCertListTrusted;
  }
  return kCertListHostMismatch;
}

uint32_t MapSignerMatch(SignerMatchResult match) {
  switch (match) {
    case kSignerMismatch:
      return kCertListSignerMismatch;
    case kSignerMatch:
      return kCertListTrusted;
    case kSignerBadArgument:
      return kCertListBadLength;
    default:
      return kUnexpectedSignerMatch;
  }
}

}  // namespace

uint32_t VerifyCertificateListEx(CertificateStore* store, const uint8_t* list, uint64_t length,
                                 int64_t time, uint32_t flags, const SignerRequirement* requirement,
                                 uint32_t* status, const char* host) {
  if (list == nullptr || status == nullptr || store == nullptr) return kCertListBadArgument;
  CountedPtr<X509CertificateCollection> certificates = MakeCounted<X509CertificateCollection>();
  if (certificates.IsEmpty()) return kCertListNoMemory;
  if (length - 1 > kPeerListMaxLength - 1) return kCertListBadLength;
  const uint32_t read = ReadPeerCertificateList(
      std::span<const uint8_t>(list, static_cast<size_t>(length)), *certificates);
  if (read != kPeerListOk) return read;

  X509Chain chain;
  if (!chain.Init(store) || !chain.AddExtraCertificates(certificates)) return kCertListNoMemory;
  CountedPtr<X509Certificate> leaf = certificates->GetAt(0);
  uint32_t result = chain.Build(leaf, flags, time);
  *status = chain.GetStatus();
  if (result != kCertListTrusted) return result;

  if (requirement != nullptr) result = MapSignerMatch(MatchSigner(*leaf, requirement));
  if (host != nullptr) {
    const uint32_t host_result = CheckHostName(*leaf, host);
    if (host_result != kCertListTrusted) result = host_result;
  }
  return result;
}

uint32_t VerifyCertificateList(CertificateStore* store, const uint8_t* list, uint64_t length,
                               int64_t time, uint32_t flags, uint32_t* status) {
  return VerifyCertificateListEx(store, list, length, time, flags, nullptr, status, nullptr);
}
