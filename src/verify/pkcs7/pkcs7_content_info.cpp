#include "verify/pkcs7/pkcs7_content_info.h"

#include "verify/asn1/asn1_tags.h"
#include "verify/asn1/oid_text.h"

namespace {

constexpr uint8_t kTagContent = Asn1ContextTag(0);

}  // namespace

CountedPtr<AlgorithmIdentifier> AlgorithmIdentifier::Parse(const ASN1& node) {
  if (node.GetTag() != kAsn1Sequence) return {};
  const int64_t count = node.GetChildCount();
  if (count < 1 || count > 2) return {};
  const ASN1* oid = node.GetChildIfTag(0, kAsn1Oid);
  if (oid == nullptr) return {};
  CountedPtr<AlgorithmIdentifier> result = MakeCounted<AlgorithmIdentifier>();
  if (result.IsEmpty() || !OidToText(*oid, result->oid_)) return {};
  return result;
}

namespace CPKCS7 {

CountedPtr<ContentInfo> ContentInfo::Parse(const ByteArray& bytes, bool decode_all) {
  CountedPtr<ASN1> root = ASN1::Parse(bytes, decode_all);
  if (root.IsEmpty()) return {};
  CountedPtr<ContentInfo> result = MakeCounted<ContentInfo>();
  if (result.IsEmpty() || !result->ParseNode(*root)) return {};
  return result;
}

bool ContentInfo::ParseNode(ASN1& node) {
  if (node.GetTag() != kAsn1Sequence || !node.EnsureDecoded(false)) return false;
  const int64_t count = node.GetChildCount();
  if (count < 1 || count > 2) return false;
  const ASN1* type = node.GetChildIfTag(0, kAsn1Oid);
  if (type == nullptr || !OidToText(*type, content_type_)) return false;
  if (count == 1) return true;
  const ASN1* content = node.GetChildIfTag(1, kTagContent);
  if (content == nullptr) return false;
  content_ = content->Encoding();
  return true;
}

}  // namespace CPKCS7
