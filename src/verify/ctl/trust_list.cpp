#include "verify/ctl/trust_list.h"

#include "verify/algorithms/hash_algorithm.h"
#include "verify/asn1/asn1.h"
#include "verify/asn1/asn1_tags.h"
#include "verify/asn1/oid_text.h"

namespace {

constexpr uint8_t kTagContent = Asn1ContextTag(0);
constexpr uint8_t kTagExtensions = Asn1ContextTag(0);
// subjectUsage, ctlThisUpdate and subjectAlgorithm are required.
constexpr int64_t kMinListElements = 3;

bool IsTime(const ASN1& node) {
  return node.GetTag() == kAsn1UtcTime || node.GetTag() == kAsn1GeneralizedTime;
}

// MD2 and MD5 have no size here: lists under them are refused.
uint32_t SubjectHashSize(uint32_t hash_id) {
  return hash_id >= kHashSHA1 ? GetHashSizeForId(hash_id) : 0;
}

}  // namespace

CountedPtr<CertificateTrustList> CertificateTrustList::Create(const ByteArray& bytes) {
  CountedPtr<CertificateTrustList> list = MakeCounted<CertificateTrustList>();
  if (list.IsEmpty() || !list->Parse(bytes)) return {};
  return list;
}

bool CertificateTrustList::Parse(const ByteArray& bytes) {
  CountedPtr<ASN1> root = ASN1::Parse(bytes, true);
  if (root.IsEmpty()) return false;
  if (root->GetTag() != kTagContent && root->GetChildCount() != 1) return false;
  const ASN1* wrapper = root->GetChildIfTag(0, kAsn1OctetString);
  if (wrapper == nullptr) return false;
  CountedPtr<ASN1> list = ASN1::Parse(wrapper->Value(), true);
  if (list.IsEmpty()) return false;
  return ParseList(*list);
}

bool CertificateTrustList::ParseList(const ASN1& list) {
  const int64_t count = list.GetChildCount();
  if (list.GetTag() != kAsn1Sequence || count < kMinListElements) return false;
  int64_t i = 0;
  if (list.GetChild(i)->GetTag() == kAsn1Integer) ++i;
  if (i >= count || list.GetChild(i)->GetTag() != kAsn1Sequence) return false;
  ++i;
  if (i < count && list.GetChild(i)->GetTag() == kAsn1OctetString) ++i;
  if (i < count && list.GetChild(i)->GetTag() == kAsn1Integer) ++i;
  if (i >= count || !IsTime(*list.GetChild(i))) return false;
  ++i;
  if (i < count && IsTime(*list.GetChild(i))) ++i;

  if (i >= count || list.GetChild(i)->GetTag() != kAsn1Sequence) return false;
  const ASN1* algorithm = list.GetChild(i)->GetChildIfTag(0, kAsn1Oid);
  Oid oid;
  if (algorithm == nullptr || !OidToText(*algorithm, oid) ||
      !HashAlgorithmIdFromOid(oid.GetText(), &hash_id_)) {
    return false;
  }
  ++i;
  if (i >= count) return true;
  if (list.GetChild(i)->GetTag() == kAsn1Sequence) {
    if (!ParseSubjects(*list.GetChild(i))) return false;
    ++i;
  }
  // Only ctlExtensions may follow.
  return i >= count || list.GetChild(i)->GetTag() == kTagExtensions;
}

bool CertificateTrustList::ParseSubjects(const ASN1& subjects) {
  const uint32_t size = SubjectHashSize(hash_id_);
  if (size == 0) return false;
  for (int64_t i = 0; i < subjects.GetChildCount(); ++i) {
    const ASN1& subject = *subjects.GetChild(i);
    if (subject.GetTag() != kAsn1Sequence) return false;
    const ASN1* hash = subject.GetChildIfTag(0, kAsn1OctetString);
    if (hash == nullptr || hash->GetValueLength() != size) return false;
    if (!subjects_.Add(hash->Value())) return false;
  }
  return true;
}
