#pragma once

#include <cstdint>
#include <memory>

#include "verify/common/carray.h"
#include "verify/x509/general_name.h"
#include "verify/x509/x509_extension.h"

// "2.5.29.31": where the issuer publishes its revocation lists; each point
// holds the names of its fullName.
class CRLDistributionPointsExtension : public X509Extension {
 public:
  static constexpr const char* kOid = "2.5.29.31";

  // Decodes at once; IsDecoded tells the outcome.
  explicit CRLDistributionPointsExtension(const X509Extension& generic);

  [[nodiscard]] int Decode() override;
  bool IsDecoded() const { return decoded_; }
  int64_t GetCount() const { return points_.GetSize(); }
  // Point i, null for an entry whose decoding failed.
  const DistributionPoint* GetAt(int64_t i) const { return points_[i].get(); }

 private:
  [[nodiscard]] int DecodePoint(ASN1& point, DistributionPoint& out);

  CArrayNoThrow<std::unique_ptr<DistributionPoint>> points_;
  bool decoded_ = false;
};
