#pragma once

#include "verify/x509/general_name.h"
#include "verify/x509/x509_extension.h"

// "1.3.6.1.5.5.7.1.1": where the issuer's certificate (caIssuers) and the
// OCSP responder of a certificate can be found.
class AuthorityInformationAccessExtension : public X509Extension {
 public:
  static constexpr const char* kOid = "1.3.6.1.5.5.7.1.1";

  // Does not decode: the caller runs Decode.
  explicit AuthorityInformationAccessExtension(const X509Extension& generic)
      : X509Extension(generic) {}

  // 1 when the value is a SEQUENCE of access descriptions that all decode;
  // the last caIssuers (and OCSP) entry wins.
  [[nodiscard]] int Decode() override;
  const GeneralName& GetCaIssuers() const { return ca_issuers_; }

 private:
  GeneralName ocsp_;
  GeneralName ca_issuers_;
};
