#pragma once

#include <cstdint>

#include "verify/x509/x509_extension.h"

// "2.5.29.19": whether the subject is a certificate authority, and how many
// intermediate certificates may follow it (-1: no limit given).
class BasicConstraintsExtension : public X509Extension {
 public:
  static constexpr const char* kOid = "2.5.29.19";

  // Does not decode: the caller runs Decode.
  explicit BasicConstraintsExtension(const X509Extension& generic) : X509Extension(generic) {}

  [[nodiscard]] int Decode() override;
  uint8_t IsCA() const { return ca_; }
  int32_t GetPathLenConstraint() const { return path_len_constraint_; }

 private:
  uint8_t ca_ = 0;
  int32_t path_len_constraint_ = -1;
};
