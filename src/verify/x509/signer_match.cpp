#include "verify/x509/signer_match.h"

namespace {

SignerMatchResult MatchDerNames(const X509Certificate& certificate, const SignerDerNameList& list) {
  const ByteArray& subject = certificate.GetSubjectName().Encoding();
  if (list.names == nullptr) return kSignerMismatch;
  for (uint32_t i = 0; i < list.count; ++i) {
    const SignerDerName& name = list.names[i];
    if (name.der == nullptr) continue;
    if (subject.Equals(static_cast<int64_t>(name.length), name.der)) return kSignerMatch;
  }
  return kSignerMismatch;
}

}  // namespace

SignerMatchResult MatchSigner(const X509Certificate& certificate,
                              const SignerRequirement* requirement) {
  if (requirement == nullptr || requirement->data == nullptr) return kSignerBadArgument;
  switch (requirement->kind) {
    case kSignerDerNames:
      return MatchDerNames(certificate, *static_cast<const SignerDerNameList*>(requirement->data));
    case kSignerNamesExact:
    case kSignerNamesAtLeast: {
      const uint32_t level = DistinguishedNameCompare(
          certificate.GetSubjectName(), static_cast<const NameRequirementList*>(requirement->data));
      if (level == kNameExactMatch) return kSignerMatch;
      if (level == kNameMatchWithMore && requirement->kind == kSignerNamesAtLeast) {
        return kSignerMatch;
      }
      return kSignerMismatch;
    }
    default:
      return kSignerMismatch;
  }
}
