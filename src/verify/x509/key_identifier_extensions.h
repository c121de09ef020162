#pragma once

#include <cstdint>

#include "verify/common/byte_array.h"
#include "verify/x509/x509_extension.h"

// Outcome bits of the key identifier extensions.
constexpr uint32_t kKeyIdentifierPresent = 0x1;
constexpr uint32_t kKeyIdentifierInvalid = 0x80000000u;

// "2.5.29.14": the subject's key identifier, an OCTET STRING.
class SubjectKeyIdentifierExtension : public X509Extension {
 public:
  static constexpr const char* kOid = "2.5.29.14";

  // Decodes at once; the status tells the outcome.
  explicit SubjectKeyIdentifierExtension(const X509Extension& generic);

  [[nodiscard]] int Decode() override;
  // Shares the identifier into out; 0 unless it was decoded and valid.
  [[nodiscard]] int GetKeyIdentifier(ByteArray& out) const;
  uint32_t GetStatus() const { return status_; }

 private:
  ByteArray key_identifier_;
  uint32_t status_ = 0;
};

// "2.5.29.35": the issuer's key identifier, the [0] of a SEQUENCE.
class AuthorityKeyIdentifierExtension : public X509Extension {
 public:
  static constexpr const char* kOid = "2.5.29.35";

  explicit AuthorityKeyIdentifierExtension(const X509Extension& generic);

  [[nodiscard]] int Decode() override;
  // Shares the identifier into out; 0 when no [0] was found.
  [[nodiscard]] int GetKeyIdentifier(ByteArray& out) const;
  uint32_t GetStatus() const { return status_; }

 private:
  ByteArray key_identifier_;
  uint32_t status_ = 0;
};
