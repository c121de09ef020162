#pragma once

#include <cstdint>

#include "verify/common/byte_array.h"
#include "verify/x509/x509_extension.h"

// Outcome bits of the key identifier extensions.
constexpr uint32_t kKeyIdentifierPresent = 0x1;
constexpr uint32_t kKeyIdentifierInvalid = 0x80000000u;

// What the two key identifier extensions share: the identifier and the
// outcome of decoding it. The subtypes differ in where the identifier sits
// and in whether an invalid outcome still hands it out.
class KeyIdentifierExtension : public X509Extension {
 public:
  uint32_t GetStatus() const { return status_; }

 protected:
  // Marks the outcome invalid unless the extension has the expected OID.
  KeyIdentifierExtension(const X509Extension& generic, const char* oid);

  // Keeps the identifier and marks it present.
  void Found(const ByteArray& key_identifier);
  void MarkInvalid() { status_ |= kKeyIdentifierInvalid; }
  bool IsPresent() const { return (status_ & kKeyIdentifierPresent) != 0; }
  bool IsInvalid() const { return (status_ & kKeyIdentifierInvalid) != 0; }
  // Shares the identifier into out.
  int Share(ByteArray& out) const;

 private:
  ByteArray key_identifier_;
  uint32_t status_ = 0;
};

// "2.5.29.14": the subject's key identifier, an OCTET STRING.
class SubjectKeyIdentifierExtension : public KeyIdentifierExtension {
 public:
  static constexpr const char* kOid = "2.5.29.14";

  // Decodes at once; the status tells the outcome.
  explicit SubjectKeyIdentifierExtension(const X509Extension& generic);

  [[nodiscard]] int Decode() override;
  // Shares the identifier into out; 0 unless it was decoded and valid.
  [[nodiscard]] int GetKeyIdentifier(ByteArray& out) const;
};

// "2.5.29.35": the issuer's key identifier, the [0] of a SEQUENCE.
class AuthorityKeyIdentifierExtension : public KeyIdentifierExtension {
 public:
  static constexpr const char* kOid = "2.5.29.35";

  explicit AuthorityKeyIdentifierExtension(const X509Extension& generic);

  [[nodiscard]] int Decode() override;
  // Shares the identifier into out; 0 when no [0] was found.
  [[nodiscard]] int GetKeyIdentifier(ByteArray& out) const;
};
