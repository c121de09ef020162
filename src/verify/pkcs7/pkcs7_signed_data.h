#pragma once

#include <cstdint>
#include <span>

#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"
#include "verify/pkcs7/pkcs7_content_info.h"
#include "verify/pkcs7/pkcs7_signer_info.h"
#include "verify/x509/certificate_collection.h"
#include "verify/x509/x509_certificate.h"

class CertificateStore;
class X509Chain;

// Results of the signer check and of SignedData::Verify (chain results are
// passed through unchanged).
enum Pkcs7Result : uint32_t {
  kPkcs7Ok = 0,
  kPkcs7DigestMismatch = 2,
  kPkcs7NoHashObject = 5,
  kPkcs7NoMemory = 12,
  kPkcs7Malformed = 17,
  kPkcs7ContentTypeMismatch = 27,
  kPkcs7AttributeMissing = 28,
  kPkcs7NoSigner = 29,
};

inline constexpr char kOidAttributeContentType[] = "1.2.840.113549.1.9.3";
inline constexpr char kOidAttributeMessageDigest[] = "1.2.840.113549.1.9.4";

namespace CPKCS7 {

// A PKCS#7 signedData: the encapsulated content, the carried certificates
// and the first SignerInfo, with the checks of its signature and chain.
class SignedData {
 public:
  SignedData();
  ~SignedData();
  SignedData(const SignedData&) = delete;
  SignedData& operator=(const SignedData&) = delete;

  // bytes: the [0] content field of a ContentInfo, whose first child is the
  // SignedData SEQUENCE. Empty when any required part is malformed.
  [[nodiscard]] static CountedPtr<SignedData> Parse(const ByteArray& bytes, bool decode_all);

  // The content octets of the element inside the [0] content field, or an
  // empty span when they cannot be delimited.
  [[nodiscard]] static bool LocateContent(const ByteArray& field, std::span<const uint8_t>& out);

  // The signature of the first SignerInfo over the content (directly or
  // through the authenticated attributes); sets the signer certificate.
  [[nodiscard]] Pkcs7Result VerifySignerInfo(const char* content_type);
  // The signer check, then the signer certificate's chain against the store.
  [[nodiscard]] uint32_t Verify(CertificateStore* store, int64_t time, uint32_t chain_flags,
                                const char* content_type);

  CountedPtr<ContentInfo> GetContentInfo() const { return content_info_; }
  CountedPtr<X509CertificateCollection> GetCertificates() const { return certificates_; }
  CountedPtr<SignerInfo> GetSignerInfo() const { return signer_info_; }
  CountedPtr<X509Certificate> GetSignerCertificate() const { return signer_certificate_; }
  CountedPtr<X509Chain> GetChain() const { return chain_; }
  bool HasAuthenticatedAttributes() const { return has_authenticated_attributes_ != 0; }
  bool IsVerified() const { return verified_ != 0; }

 private:
  [[nodiscard]] bool ParseNode(ASN1& root);
  [[nodiscard]] bool ParseCertificates(ASN1& certificates);
  [[nodiscard]] Pkcs7Result CheckAttributes(const ByteArray* content_digest,
                                            const char* content_type);
  [[nodiscard]] Pkcs7Result FindSigner(const ByteArray& digest, uint32_t hash_id);

  uint8_t has_authenticated_attributes_ = 0;
  CountedPtr<ContentInfo> content_info_;
  CountedPtr<X509CertificateCollection> certificates_;
  CountedPtr<SignerInfo> signer_info_;
  CountedPtr<X509Certificate> signer_certificate_;
  CountedPtr<X509Chain> chain_;
  uint8_t verified_ = 0;
};

}  // namespace CPKCS7
