#include "verify/x509/crl_distribution_points_extension.h"

#include <new>

#include "verify/asn1/asn1_tags.h"

namespace {

// distributionPoint [0] and, inside it, fullName [0], both constructed.
constexpr uint8_t kTagDistributionPoint = Asn1ContextTag(0);
constexpr uint8_t kTagFullName = Asn1ContextTag(0);

}  // namespace

CRLDistributionPointsExtension::CRLDistributionPointsExtension(const X509Extension& generic)
    : X509Extension(generic) {
  decoded_ = CRLDistributionPointsExtension::Decode() != 0;
}

int CRLDistributionPointsExtension::DecodePoint(ASN1& point, DistributionPoint& out) {
  if (!point.EnsureDecoded(true)) return 0;
  int result = 0;
  for (int64_t i = 0; i < point.GetChildCount(); ++i) {
    ASN1& name = *point.GetChild(i);
    if (name.GetTag() != kTagDistributionPoint) continue;
    for (int64_t j = 0; j < name.GetChildCount(); ++j) {
      ASN1& full = *name.GetChild(j);
      if (full.GetTag() == kTagFullName) result = out.AddNames(full);
    }
  }
  return result;
}

int CRLDistributionPointsExtension::Decode() {
  CountedPtr<ASN1> root = ParseContent();
  if (root.IsEmpty() || root->GetTag() != kAsn1Sequence) return 0;
  points_.RemoveAll();
  for (int64_t i = 0; i < root->GetChildCount(); ++i) {
    const int64_t at = points_.GetSize();
    if (!points_.SetSize(at + 1)) return 0;
    auto point = std::unique_ptr<DistributionPoint>(new (std::nothrow) DistributionPoint());
    if (point == nullptr || !DecodePoint(*root->GetChild(i), *point)) return 0;
    points_[at] = std::move(point);
  }
  return 1;
}
